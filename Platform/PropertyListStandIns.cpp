#include "Platform/PropertyListStandIns.h"

#include "Platform/BinaryPropertyListLayout.h"

#include <QList>
#include <QRandomGenerator>

#include <functional>

namespace {

using Layout = BinaryPropertyListLayout;

// A string object: marker with its length, then the characters, ASCII where every character is,
// else UTF-16 (big-endian), as the format stores them.
QByteArray stringObject(const QString &text)
{
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    const quint64 length = quint64(text.size());
    const uchar type = ascii ? 0x50 : 0x60;
    QByteArray out;
    if (length < 15) {
        out.append(char(type | length));
    } else {
        const int size = Layout::bytesFor(length);
        out.append(char(type | 0x0F));
        out.append(char(0x10 | (size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3)));
        Layout::appendBigEndian(out, length, size);
    }
    for (const QChar c : text) {
        if (ascii)
            out.append(char(c.unicode()));
        else
            Layout::appendBigEndian(out, c.unicode(), 2);
    }
    return out;
}

// `binary` with the objects for which `replacement` gives bytes moved to new objects holding those
// bytes, after the others: only the offset table and the trailer are written anew, so every other
// object stays byte for byte where it was. `replacement` sees each object's type, the start of its
// characters or bytes and their count. nullopt when the frame cannot be read.
std::optional<QByteArray> withObjectsReplaced(
    const QByteArray &binary, const std::function<std::optional<QByteArray>(uchar type, const uchar *text, quint64 length)> &replacement)
{
    Layout layout;
    if (!binary.startsWith("bplist00") || layout.open(binary))
        return std::nullopt;
    const uchar *data = layout.data();
    QList<quint64> offsets;
    QByteArray appended;
    bool replaced = false;
    for (quint64 index = 0; index < layout.objectCount(); ++index) {
        offsets.append(layout.tableEntry(index));
        const std::optional<quint64> offset = layout.offsetOf(index);
        if (!offset)
            continue;
        quint64 position = *offset;
        const uchar marker = data[position++];
        const uchar type = marker & 0xF0;
        if (type != 0x50 && type != 0x60)
            continue;
        const std::optional<quint64> length = layout.lengthAt(position, marker & 0x0F);
        if (!length || !layout.fits(position, *length, type == 0x60 ? 2 : 1))
            continue;
        const std::optional<QByteArray> object = replacement(type, data + position, *length);
        if (!object)
            continue;
        offsets.last() = layout.objectsEnd() + quint64(appended.size());
        appended.append(*object);
        replaced = true;
    }
    if (!replaced)
        return binary;
    QByteArray out = binary.left(qsizetype(layout.objectsEnd()));
    out.append(appended);
    const quint64 tableOffset = quint64(out.size());
    const int offsetSize = qMax(layout.offsetSize(), Layout::bytesFor(tableOffset));
    for (const quint64 offset : std::as_const(offsets))
        Layout::appendBigEndian(out, offset, offsetSize);
    const char *trailer = binary.constData() + binary.size() - Layout::trailerSize;
    out.append(trailer, 6);
    out.append(char(offsetSize));
    out.append(trailer[7]);
    out.append(trailer + 8, 16); // object count and top object
    Layout::appendBigEndian(out, tableOffset, 8);
    return out;
}

} // namespace

PropertyListStandIns::PropertyListStandIns()
{
    // Control characters and a random part: no stored text can be taken for a stand-in.
    quint64 random[2];
    QRandomGenerator::system()->fillRange(random);
    m_prefix = "\x01\x02" + QByteArray::number(random[0], 16) + QByteArray::number(random[1], 16) + ':';
}

std::optional<QByteArray> PropertyListStandIns::withStandIns(const QByteArray &binary)
{
    return withObjectsReplaced(binary, [this](uchar type, const uchar *text, quint64 length) -> std::optional<QByteArray> {
        QString real;
        real.reserve(qsizetype(length));
        for (quint64 i = 0; i < length; ++i)
            real.append(QChar(char16_t(type == 0x60 ? Layout::bigEndian(text + 2 * i, 2) : text[i])));
        if (!needsStandIn(real))
            return std::nullopt;
        return stringObject(QString::fromLatin1(standInFor(real)));
    });
}

QByteArray PropertyListStandIns::withRealStrings(const QByteArray &binary) const
{
    if (m_real.isEmpty())
        return binary;
    const std::optional<QByteArray> restored
        = withObjectsReplaced(binary, [this](uchar type, const uchar *text, quint64 length) -> std::optional<QByteArray> {
              if (type != 0x50 || length < quint64(m_prefix.size()) || !QByteArrayView(text, qsizetype(m_prefix.size())).startsWith(m_prefix))
                  return std::nullopt;
              const auto real = m_real.constFind(QByteArray(reinterpret_cast<const char *>(text), qsizetype(length)));
              if (real == m_real.cend())
                  return std::nullopt;
              return stringObject(*real);
          });
    return restored.value_or(binary);
}

QByteArray PropertyListStandIns::standInFor(const QString &text)
{
    if (const auto known = m_standIns.constFind(text); known != m_standIns.cend())
        return *known;
    const QByteArray standIn = m_prefix + QByteArray::number(m_standIns.size());
    m_standIns.insert(text, standIn);
    m_real.insert(standIn, text);
    return standIn;
}

QString PropertyListStandIns::realText(const char *text) const
{
    if (!text)
        return {};
    if (!m_real.isEmpty() && text[0] == m_prefix[0]) {
        if (const auto real = m_real.constFind(QByteArray(text)); real != m_real.cend())
            return *real;
    }
    return QString::fromUtf8(text);
}
