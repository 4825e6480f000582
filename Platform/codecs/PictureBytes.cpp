#include "Platform/codecs/PictureBytes.h"

#include <QImageReader>

#include <cstring>

namespace {

constexpr unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// A chunk's length, its type and its check sum around the data.
constexpr qsizetype chunkFrame = 12;
// A PNG chunk's length may not reach 2^31.
constexpr quint32 longestChunk = 0x7fffffff;

quint32 bigEndian(const char *bytes)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

quint32 littleEndian(const char *bytes, int count)
{
    const auto *b = reinterpret_cast<const unsigned char *>(bytes);
    quint32 value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | b[i];
    return value;
}

bool isPng(QByteArrayView bytes)
{
    return bytes.size() >= qsizetype(sizeof pngSignature) && std::memcmp(bytes.data(), pngSignature, sizeof pngSignature) == 0;
}

// Every chunk up to the end one fits in the bytes after it. A file cut inside a chunk's header is
// left to the library, which can allocate nothing for a length it has not read.
bool pngChunksFit(QByteArrayView bytes)
{
    qsizetype at = sizeof pngSignature;
    while (bytes.size() - at >= 8) {
        const quint32 length = bigEndian(bytes.data() + at);
        if (length > longestChunk || qint64(length) > qint64(bytes.size() - at - chunkFrame))
            return false;
        if (std::memcmp(bytes.data() + at + 4, "IEND", 4) == 0)
            return true;
        at += chunkFrame + qsizetype(length);
    }
    return true;
}

// An icon file (ICO or CUR) is a directory of pictures, each a bitmap or a whole PNG file that Qt
// hands to its PNG reader: each of those is checked as a file of its own.
bool iconPicturesHold(QByteArrayView bytes)
{
    constexpr qsizetype directoryStart = 6;
    constexpr qsizetype entrySize = 16;
    const quint32 kind = littleEndian(bytes.data() + 2, 2);
    const qsizetype count = qsizetype(littleEndian(bytes.data() + 4, 2));
    if (littleEndian(bytes.data(), 2) != 0 || (kind != 1 && kind != 2))
        return true;
    for (qsizetype i = 0; i < count && directoryStart + (i + 1) * entrySize <= bytes.size(); ++i) {
        const char *entry = bytes.data() + directoryStart + i * entrySize;
        const qint64 length = littleEndian(entry + 8, 4);
        const qint64 offset = littleEndian(entry + 12, 4);
        if (offset >= bytes.size())
            continue;
        const QByteArrayView picture = bytes.sliced(offset, qMin<qint64>(length, bytes.size() - offset));
        if (isPng(picture) && !pngChunksFit(picture))
            return false;
    }
    return true;
}

} // namespace

namespace PictureBytes {

bool holdWhatTheyClaim(QByteArrayView bytes)
{
    if (isPng(bytes))
        return pngChunksFit(bytes);
    if (bytes.size() >= 6)
        return iconPicturesHold(bytes);
    return true;
}

void capLibraryAllocations()
{
    QImageReader::setAllocationLimit(allocationLimitMegabytes);
}

} // namespace PictureBytes
