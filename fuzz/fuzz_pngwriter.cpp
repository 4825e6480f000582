// The PNG writer of folder icons. Whatever the image, the file it writes reads back through Qt's
// reader to the pixels the file Qt's own writer makes of it reads back to.
// The first three bytes give the width, the height and the format; the rest of the input, repeated
// as often as it takes, is the pixels, so that runs and repeated rows come from mutations.
#include "Platform/codecs/PngEncoder.h"
#include "fuzz/FuzzSupport.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <cstdlib>
#include <iterator>

namespace {

QImage readBack(const QByteArray &file)
{
    return QImage::fromData(file, "png").convertToFormat(QImage::Format_ARGB32);
}

QByteArray writtenByQt(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.write(image);
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    if (size < 4)
        return 0;
    static const QImage::Format formats[] = {QImage::Format_ARGB32_Premultiplied, QImage::Format_ARGB32, QImage::Format_RGB32,
                                             QImage::Format_RGBA8888, QImage::Format_RGBA8888_Premultiplied, QImage::Format_RGBX8888};
    // Rows up to a few thousand pixels, but few of them when they are long.
    const int width = (int(data[0]) | (int(data[1]) & 0x0f) << 8) % 3000 + 1;
    const int height = (data[2] & 0x1f) % (width > 512 ? 4 : 32) + 1;
    const QImage::Format format = formats[(data[2] >> 5) % std::size(formats)];
    const QByteArray pattern = FuzzSupport::bytes(data + 3, size - 3);
    QImage image(width, height, format);
    if (image.isNull())
        return 0;
    qsizetype at = 0;
    for (int y = 0; y < height; ++y) {
        uchar *row = image.scanLine(y);
        for (qsizetype x = 0; x < qsizetype(width) * 4; ++x)
            row[x] = uchar(pattern.at(at++ % pattern.size()));
    }
    // A premultiplied image holds no colour brighter than its alpha.
    if (format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGBA8888_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32).convertToFormat(format);
    const QImage written = readBack(PngEncoder::encode(image));
    if (written.isNull() || written != readBack(writtenByQt(image)))
        std::abort();
    return 0;
}
