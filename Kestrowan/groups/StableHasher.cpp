#include "Kestrowan/groups/StableHasher.h"

namespace {

constexpr quint64 fnvPrime = 0x100000001b3ULL;

// The finaliser of MurmurHash3: FNV-1a alone mixes the last bytes poorly into the high bits.
quint64 avalanche(quint64 h)
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

} // namespace

void StableHasher::addBytes(const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        m_state ^= static_cast<quint8>(data[i]);
        m_state *= fnvPrime;
    }
}

void StableHasher::addByte(quint8 byte)
{
    addBytes(reinterpret_cast<const char *>(&byte), 1);
}

void StableHasher::addInteger(quint64 value)
{
    // Little-endian whatever the machine, so the value does not depend on the host.
    char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    addBytes(bytes, 8);
}

void StableHasher::addString(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    addInteger(static_cast<quint64>(utf8.size()));
    addBytes(utf8.constData(), utf8.size());
}

quint64 StableHasher::value() const
{
    return avalanche(m_state);
}

QString StableHasher::signedDecimal() const
{
    return QString::number(static_cast<qint64>(value()));
}
