#include "Kestrowan/icons/PngEncoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageWriter>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// Qt's writer maps a quality of 80 to zlib's level 1.
constexpr int fastestQtQuality = 80;

void appendBigEndian(QByteArray &bytes, quint32 value)
{
    const char raw[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    bytes.append(raw, 4);
}

void appendChunk(QByteArray &file, const char (&type)[5], const QByteArray &data)
{
    appendBigEndian(file, quint32(data.size()));
    const qsizetype start = file.size();
    file.append(type, 4);
    file.append(data);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(file.constData() + start), uInt(file.size() - start));
    appendBigEndian(file, quint32(crc));
}

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
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        break;
    default:
        return false;
    }
    return !image.isNull() && !image.colorSpace().isValid() && image.textKeys().isEmpty() && image.offset().isNull();
}

// The compressed rows, each led by its filter type (0: none).
std::optional<QByteArray> compressedRows(const QImage &rows, int bytesPerPixel)
{
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_SPEED) != Z_OK)
        return std::nullopt;
    const size_t rowBytes = size_t(rows.width()) * size_t(bytesPerPixel);
    const uLong raw = uLong((rowBytes + 1) * size_t(rows.height()));
    QByteArray out(qsizetype(deflateBound(&stream, raw)), Qt::Uninitialized);
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    std::vector<unsigned char> row(rowBytes + 1);
    bool ok = true;
    for (int y = 0; y < rows.height() && ok; ++y) {
        const uchar *pixels = rows.constScanLine(y);
        row[0] = 0;
        if (bytesPerPixel == 4) {
            std::memcpy(row.data() + 1, pixels, rowBytes);
        } else {
            // RGBX rows lose their padding byte.
            for (int x = 0; x < rows.width(); ++x)
                std::memcpy(row.data() + 1 + size_t(x) * 3, pixels + size_t(x) * 4, 3);
        }
        stream.next_in = row.data();
        stream.avail_in = uInt(row.size());
        const int flush = y == rows.height() - 1 ? Z_FINISH : Z_NO_FLUSH;
        const int status = deflate(&stream, flush);
        ok = flush == Z_FINISH ? status == Z_STREAM_END : status == Z_OK;
    }
    out.resize(out.size() - qsizetype(stream.avail_out));
    deflateEnd(&stream);
    if (!ok)
        return std::nullopt;
    return out;
}

} // namespace

QByteArray PngEncoder::encode(const QImage &image)
{
    if (!covered(image))
        return encodedByQt(image);
    // The same conversion Qt's writer makes: straight (not premultiplied) colour, bytes in R G B A order.
    const bool alpha = image.hasAlphaChannel();
    const QImage rows = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    const std::optional<QByteArray> data = compressedRows(rows, alpha ? 4 : 3);
    if (!data)
        return encodedByQt(image);

    QByteArray file("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBigEndian(header, quint32(rows.width()));
    appendBigEndian(header, quint32(rows.height()));
    header.append(char(8));                // bits per sample
    header.append(char(alpha ? 6 : 2));    // RGBA or RGB
    header.append(3, char(0));             // deflate, adaptive filtering, no interlace
    appendChunk(file, "IHDR", header);
    if (image.dotsPerMeterX() > 0 || image.dotsPerMeterY() > 0) {
        QByteArray resolution;
        appendBigEndian(resolution, quint32(std::max(image.dotsPerMeterX(), 0)));
        appendBigEndian(resolution, quint32(std::max(image.dotsPerMeterY(), 0)));
        resolution.append(char(1)); // per metre
        appendChunk(file, "pHYs", resolution);
    }
    appendChunk(file, "IDAT", *data);
    appendChunk(file, "IEND", QByteArray());
    return file;
}
