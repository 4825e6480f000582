#include "Platform/codecs/PngEncoder.h"

#include "Platform/codecs/PixelDeflate.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <libdeflate.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>

namespace {

// Qt's writer maps a quality of 80 to zlib's level 1.
constexpr int fastestQtQuality = 80;

QByteArray encodedByQt(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(fastestQtQuality);
    writer.write(image);
    return bytes;
}

bool covered(const QImage &image)
{
    // Eight bits a channel, four bytes a pixel.
    static constexpr QImage::Format formats[] = {QImage::Format_RGB32,   QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
                                                 QImage::Format_RGBX8888, QImage::Format_RGBA8888, QImage::Format_RGBA8888_Premultiplied};
    if (std::find(std::begin(formats), std::end(formats), image.format()) == std::end(formats))
        return false;
    return !image.isNull() && !image.colorSpace().isValid() && image.textKeys().isEmpty() && image.offset().isNull();
}

// Readers may stream the data a chunk at a time: it goes in chunks of the size libpng writes.
constexpr qsizetype dataChunkBytes = 8192;

void appendNumber(QByteArray &file, quint32 number)
{
    char bytes[4];
    qToBigEndian(number, bytes);
    file.append(bytes, 4);
}

void appendChunk(QByteArray &file, const char (&type)[5], const char *data, qsizetype length)
{
    appendNumber(file, quint32(length));
    const qsizetype start = file.size();
    file.append(type, 4);
    file.append(data, length);
    appendNumber(file, quint32(libdeflate_crc32(0, file.constData() + start, size_t(length) + 4)));
}

// The rows as the file holds them before compression: each led by its filter type (0, none) and
// then its pixels in `format` (straight colour, bytes in R G B A order) with alpha, or without it
// the padding byte after each pixel left out. Qt hands a conversion of more than 65,536 pixels to
// its thread pool and waits for it, which cost more than the conversion: the image is converted a
// slice of rows at a time, each below that, by the same conversion.
std::optional<QByteArray> filteredRows(const QImage &image, QImage::Format format, int channels)
{
    const int width = image.width();
    const int height = image.height();
    const qsizetype rowBytes = 1 + qsizetype(width) * channels;
    if (rowBytes > std::numeric_limits<qsizetype>::max() / height)
        return std::nullopt;
    QByteArray raw(rowBytes * height, Qt::Uninitialized);
    const int sliceRows = std::max(1, 65535 / std::max(1, width));
    for (int top = 0; top < height; top += sliceRows) {
        const int rows = std::min(sliceRows, height - top);
        const QImage slice(image.constScanLine(top), width, rows, image.bytesPerLine(), image.format());
        const QImage converted = slice.convertToFormat(format);
        if (converted.isNull())
            return std::nullopt;
        for (int y = 0; y < rows; ++y) {
            char *target = raw.data() + rowBytes * (top + y);
            *target++ = 0;
            const uchar *source = converted.constScanLine(y);
            if (channels == 4) {
                std::memcpy(target, source, size_t(rowBytes - 1));
                continue;
            }
            for (int x = 0; x < width; ++x, source += 4, target += 3)
                std::memcpy(target, source, 3);
        }
    }
    return raw;
}

} // namespace

QByteArray PngEncoder::encode(const QImage &image)
{
    if (!covered(image))
        return encodedByQt(image);
    // The same conversion Qt's writer makes: straight (not premultiplied) colour, bytes in R G B A order.
    const bool alpha = image.hasAlphaChannel();
    const int channels = alpha ? 4 : 3;
    const std::optional<QByteArray> raw = filteredRows(image, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888, channels);
    const std::optional<QByteArray> compressed = raw ? PixelDeflate::compress(*raw, image.width(), image.height(), channels) : std::nullopt;
    if (!compressed)
        return encodedByQt(image);
    const qsizetype compressedBytes = compressed->size();
    const qsizetype dataChunks = (compressedBytes + dataChunkBytes - 1) / dataChunkBytes;
    QByteArray file;
    file.reserve(8 + 25 + 21 + compressedBytes + 12 * dataChunks + 12);
    file.append("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendNumber(header, quint32(image.width()));
    appendNumber(header, quint32(image.height()));
    // Eight bits a sample, truecolour with or without alpha, deflate, adaptive filtering, not interlaced.
    header.append(char(8)).append(char(alpha ? 6 : 2)).append(char(0)).append(char(0)).append(char(0));
    appendChunk(file, "IHDR", header.constData(), header.size());
    if (image.dotsPerMeterX() > 0 || image.dotsPerMeterY() > 0) {
        QByteArray resolution;
        appendNumber(resolution, quint32(std::max(image.dotsPerMeterX(), 0)));
        appendNumber(resolution, quint32(std::max(image.dotsPerMeterY(), 0)));
        resolution.append(char(1)); // per metre
        appendChunk(file, "pHYs", resolution.constData(), resolution.size());
    }
    for (qsizetype at = 0; at < compressedBytes; at += dataChunkBytes)
        appendChunk(file, "IDAT", compressed->constData() + at, std::min(dataChunkBytes, compressedBytes - at));
    appendChunk(file, "IEND", nullptr, 0);
    return file;
}
