#include "Kestrowan/groups/PngEncoder.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageWriter>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>

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

void appendToFile(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushNothing(png_structp) {}

// libpng reports a failure by jumping back to where the write began; it says nothing on the way.
[[noreturn]] void failQuietly(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// The jump back from a failure crosses only this function's frame, which holds nothing that needs
// destroying: the caller owns the bytes and the rows.
bool writeRows(png_structp png, png_infop info, const QImage &rows, bool alpha, const QImage &source, QByteArray *file)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, file, appendToFile, flushNothing);
    // Every row unfiltered at zlib's fastest level: Qt's writer tries every filter on every row to
    // save a few per cent of the file, which for a batch of folder icons is most of their time.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_set_IHDR(png, info, png_uint_32(rows.width()), png_uint_32(rows.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    if (source.dotsPerMeterX() > 0 || source.dotsPerMeterY() > 0)
        png_set_pHYs(png, info, png_uint_32(std::max(source.dotsPerMeterX(), 0)), png_uint_32(std::max(source.dotsPerMeterY(), 0)),
                     PNG_RESOLUTION_METER);
    png_write_info(png, info);
    // RGBX rows carry a padding byte after each pixel, which the file leaves out.
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < rows.height(); ++y)
        png_write_row(png, rows.constScanLine(y));
    png_write_end(png, nullptr);
    return true;
}

} // namespace

QByteArray PngEncoder::encode(const QImage &image)
{
    if (!covered(image))
        return encodedByQt(image);
    // The same conversion Qt's writer makes: straight (not premultiplied) colour, bytes in R G B A order.
    const bool alpha = image.hasAlphaChannel();
    const QImage rows = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    QByteArray file;
    const bool written = info && writeRows(png, info, rows, alpha, image, &file);
    png_destroy_write_struct(&png, &info);
    if (!written)
        return encodedByQt(image);
    // The file grew by doubling; what is kept of it holds only its own bytes.
    file.squeeze();
    return file;
}
