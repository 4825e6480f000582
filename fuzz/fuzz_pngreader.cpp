// The fast PNG reader of icons and folder pictures. Whatever the bytes, it reads nothing outside
// them and allocates no more than the picture its header names, and a picture it gives is pixel
// for pixel the one Qt's reader gives. Only the pixels count: Qt attaches the colour space a file
// names (gAMA, sRGB, iCCP) and leaves the pixels as they are, as this reader does.
// A PNG input is read as it is and again with its chunks' check sums mended, so that mutations get
// past them. Any other input describes rows: a width, a height and a kind in its first three bytes,
// then the filtered rows, which are compressed and wrapped into a file with every check sum right,
// so that mutations reach the filters and the sizes behind the compressed stream.
#include "Platform/codecs/PngReader.h"
#include "fuzz/FuzzSupport.h"

#include <QImage>
#include <QtEndian>

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr qint64 pixelLimit = qint64(8192) * 8192;

void appendChunk(QByteArray &file, const char *type, const QByteArray &data)
{
    QByteArray length(4, '\0');
    qToBigEndian(quint32(data.size()), length.data());
    const QByteArray typeAndData = QByteArray(type, 4) + data;
    QByteArray checksum(4, '\0');
    qToBigEndian(quint32(libdeflate_crc32(0, typeAndData.constData(), size_t(typeAndData.size()))), checksum.data());
    file += length + typeAndData + checksum;
}

QByteArray fileOfRows(const QByteArray &input)
{
    const int width = quint8(input.at(0)) % 64 + 1;
    const int height = quint8(input.at(1)) % 64 + 1;
    const quint8 kind = quint8(input.at(2));
    static const quint8 colourTypes[4] = {0, 2, 4, 6};
    static const int channels[4] = {1, 3, 2, 4};
    QByteArray rows = input.mid(3);
    // Mostly rows of just the length the header asks for; sometimes whatever the input holds.
    if ((kind & 4) == 0)
        rows.resize(qsizetype(width * channels[kind & 3] + 1) * height, '\0');
    QByteArray header(13, '\0');
    qToBigEndian(quint32(width), header.data());
    qToBigEndian(quint32(height), header.data() + 4);
    header[8] = 8;
    header[9] = char(colourTypes[kind & 3]);

    const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor *)> compressor(libdeflate_alloc_compressor(1),
                                                                                               libdeflate_free_compressor);
    QByteArray compressed(qsizetype(libdeflate_zlib_compress_bound(compressor.get(), size_t(rows.size()))), '\0');
    compressed.resize(qsizetype(libdeflate_zlib_compress(compressor.get(), rows.constData(), size_t(rows.size()), compressed.data(),
                                                         size_t(compressed.size()))));
    QByteArray file("\x89PNG\r\n\x1a\n", 8);
    appendChunk(file, "IHDR", header);
    const qsizetype chunkBytes = (kind >> 3) * 16 + 1;
    for (qsizetype at = 0; at < compressed.size(); at += chunkBytes)
        appendChunk(file, "IDAT", compressed.mid(at, chunkBytes));
    appendChunk(file, "IEND", {});
    return file;
}

bool samePixels(const QImage &one, const QImage &other)
{
    if (one.size() != other.size() || one.format() != other.format())
        return false;
    const size_t rowBytes = size_t(one.width()) * 4;
    for (int y = 0; y < one.height(); ++y) {
        if (std::memcmp(one.constScanLine(y), other.constScanLine(y), rowBytes) != 0)
            return false;
    }
    return true;
}

void readAsQtReads(const QByteArray &file)
{
    const std::optional<QImage> read = PngReader::read(file, pixelLimit);
    if (!read)
        return;
    if (read->isNull() || read->format() != QImage::Format_ARGB32_Premultiplied
        || qint64(read->width()) * read->height() > pixelLimit)
        std::abort();
    const QImage qtRead = QImage::fromData(file);
    if (qtRead.isNull() || !samePixels(*read, qtRead.convertToFormat(QImage::Format_ARGB32_Premultiplied)))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    QByteArray input = FuzzSupport::bytes(data, size);
    if (PngReader::hasSignature(input)) {
        readAsQtReads(input);
        FuzzSupport::mendPngChecksums(input);
        readAsQtReads(input);
    } else if (input.size() >= 3) {
        readAsQtReads(fileOfRows(input));
    }
    return 0;
}
