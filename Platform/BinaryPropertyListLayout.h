#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// The frame of a binary property list ("bplist00"): the trailer, the offset table and the lengths
// that follow object markers, read with every bound checked, for the code that walks the objects
// itself instead of handing the bytes to libplist.
class BinaryPropertyListLayout {
public:
    static constexpr qsizetype headerSize = 8;
    static constexpr qsizetype trailerSize = 32;

    static quint64 bigEndian(const uchar *bytes, int size)
    {
        quint64 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | bytes[i];
        return value;
    }

    static void appendBigEndian(QByteArray &out, quint64 value, int size)
    {
        for (int i = size - 1; i >= 0; --i)
            out.append(char((value >> (8 * i)) & 0xFF));
    }

    // The fewest bytes (1, 2, 4 or 8) that hold `largest`, as offsets and references are stored.
    static int bytesFor(quint64 largest)
    {
        return largest < 0x100 ? 1 : largest < 0x10000 ? 2 : largest < 0x100000000ULL ? 4 : 8;
    }

    // Why the trailer and offset table do not fit the bytes, or nothing when they do. The bytes
    // must live as long as this does.
    std::optional<QString> open(const QByteArray &bytes)
    {
        m_data = reinterpret_cast<const uchar *>(bytes.constData());
        const qsizetype size = bytes.size();
        if (size < headerSize + trailerSize)
            return QStringLiteral("too short for a binary property list");
        const uchar *trailer = m_data + size - trailerSize;
        m_offsetSize = trailer[6];
        m_referenceSize = trailer[7];
        const quint64 objectCount = bigEndian(trailer + 8, 8);
        const quint64 top = bigEndian(trailer + 16, 8);
        const quint64 tableOffset = bigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8)
            return QStringLiteral("bad integer sizes in its trailer");
        const quint64 tableEnd = quint64(size - trailerSize);
        if (objectCount == 0 || top >= objectCount || tableOffset < quint64(headerSize) || tableOffset > tableEnd
            || objectCount > (tableEnd - tableOffset) / quint64(m_offsetSize))
            return QStringLiteral("an object table that does not fit the file");
        m_objectCount = objectCount;
        m_top = top;
        m_table = m_data + tableOffset;
        m_objectsEnd = tableOffset;
        return std::nullopt;
    }

    const uchar *data() const { return m_data; }
    int referenceSize() const { return m_referenceSize; }
    quint64 objectCount() const { return m_objectCount; }
    quint64 top() const { return m_top; }
    // Where the objects end (the offset table begins).
    quint64 objectsEnd() const { return m_objectsEnd; }

    // Where object `index` starts; nullopt when that lies outside the objects.
    std::optional<quint64> offsetOf(quint64 index) const
    {
        if (index >= m_objectCount)
            return std::nullopt;
        const quint64 offset = tableEntry(index);
        if (offset < quint64(headerSize) || offset >= m_objectsEnd)
            return std::nullopt;
        return offset;
    }

    // The raw entry of object `index` in the offset table, whatever it points at.
    quint64 tableEntry(quint64 index) const { return bigEndian(m_table + index * quint64(m_offsetSize), m_offsetSize); }
    int offsetSize() const { return m_offsetSize; }

    // The length that follows a marker's low nibble: the nibble itself, or an integer object after
    // it; `position` moves past what was read.
    std::optional<quint64> lengthAt(quint64 &position, uchar nibble) const
    {
        if (nibble != 0x0F)
            return nibble;
        if (position >= m_objectsEnd)
            return std::nullopt;
        const uchar marker = m_data[position++];
        if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3)
            return std::nullopt;
        const int size = 1 << (marker & 0x0F);
        if (quint64(size) > m_objectsEnd - position)
            return std::nullopt;
        const quint64 length = bigEndian(m_data + position, size);
        position += quint64(size);
        return length;
    }

    // Whether `length` units of `unit` bytes fit between `position` and the end of the objects.
    bool fits(quint64 position, quint64 length, quint64 unit) const { return length <= (m_objectsEnd - position) / unit; }

private:
    const uchar *m_data = nullptr;
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_top = 0;
    const uchar *m_table = nullptr;
    quint64 m_objectsEnd = 0;
};
