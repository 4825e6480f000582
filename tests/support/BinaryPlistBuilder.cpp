#include "tests/support/BinaryPlistBuilder.h"

#include <QtEndian>

namespace {

QByteArray bigEndianBytes(quint64 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        bytes[i] = char(value & 0xFF);
    return bytes;
}

int sizeFor(quint64 largest)
{
    return largest < 0x100 ? 1 : largest < 0x10000 ? 2 : largest < 0x100000000ULL ? 4 : 8;
}

} // namespace

QByteArray BinaryPlistBuilder::marker(uchar type, quint64 length)
{
    if (length < 15)
        return QByteArray(1, char(type | length));
    QByteArray bytes(1, char(type | 0x0F));
    const int size = sizeFor(length);
    bytes.append(char(0x10 | (size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3)));
    bytes.append(bigEndianBytes(length, size));
    return bytes;
}

int BinaryPlistBuilder::add(Object object)
{
    m_objects.append(std::move(object));
    return int(m_objects.size() - 1);
}

int BinaryPlistBuilder::ascii(const QByteArray &text)
{
    return add({marker(0x50, quint64(text.size())) + text, {}});
}

int BinaryPlistBuilder::utf16(const QString &text)
{
    QByteArray bytes = marker(0x60, quint64(text.size()));
    for (const QChar c : text)
        bytes.append(bigEndianBytes(c.unicode(), 2));
    return add({bytes, {}});
}

int BinaryPlistBuilder::integer(qint64 value)
{
    return add({QByteArray(1, char(0x13)) + bigEndianBytes(quint64(value), 8), {}});
}

int BinaryPlistBuilder::bigUnsigned(quint64 value)
{
    return add({QByteArray(1, char(0x14)) + QByteArray(8, '\0') + bigEndianBytes(value, 8), {}});
}

int BinaryPlistBuilder::real(double value)
{
    QByteArray bytes(9, char(0x23));
    qToBigEndian(value, bytes.data() + 1);
    return add({bytes, {}});
}

int BinaryPlistBuilder::date(double seconds)
{
    QByteArray bytes(9, char(0x33));
    qToBigEndian(seconds, bytes.data() + 1);
    return add({bytes, {}});
}

int BinaryPlistBuilder::data(const QByteArray &bytes)
{
    return add({marker(0x40, quint64(bytes.size())) + bytes, {}});
}

int BinaryPlistBuilder::uid(quint64 value)
{
    const int size = sizeFor(value);
    return add({QByteArray(1, char(0x80 | (size - 1))) + bigEndianBytes(value, size), {}});
}

int BinaryPlistBuilder::boolean(bool value)
{
    return add({QByteArray(1, char(value ? 0x09 : 0x08)), {}});
}

int BinaryPlistBuilder::array(const QList<int> &elements)
{
    return add({marker(0xA0, quint64(elements.size())), elements});
}

int BinaryPlistBuilder::dict(const QList<QPair<int, int>> &keysAndValues)
{
    QList<int> references;
    for (const auto &[key, value] : keysAndValues)
        references.append(key);
    for (const auto &[key, value] : keysAndValues)
        references.append(value);
    return add({marker(0xD0, quint64(keysAndValues.size())), references});
}

int BinaryPlistBuilder::reserve()
{
    return add({QByteArray(1, char(0xA0)), {}});
}

void BinaryPlistBuilder::setArray(int index, const QList<int> &elements)
{
    m_objects[index] = {marker(0xA0, quint64(elements.size())), elements};
}

QByteArray BinaryPlistBuilder::build(int top) const
{
    const int referenceSize = sizeFor(quint64(m_objects.size()));
    QByteArray out("bplist00");
    QList<quint64> offsets;
    for (const Object &object : m_objects) {
        offsets.append(quint64(out.size()));
        out.append(object.bytes);
        for (int reference : object.references)
            out.append(bigEndianBytes(quint64(reference), referenceSize));
    }
    const quint64 tableOffset = quint64(out.size());
    const int offsetSize = sizeFor(tableOffset);
    for (quint64 offset : offsets)
        out.append(bigEndianBytes(offset, offsetSize));
    out.append(QByteArray(6, '\0'));
    out.append(char(offsetSize));
    out.append(char(referenceSize));
    out.append(bigEndianBytes(quint64(m_objects.size()), 8));
    out.append(bigEndianBytes(quint64(top), 8));
    out.append(bigEndianBytes(tableOffset, 8));
    return out;
}
