// The PNG writer of folder icons. Whatever the image, the file it writes reads back through Qt's
// reader to the image's straight colours, as Qt's own writer's file does (PNG holds colour without
// premultiplying it, as Qt's writer converts to).
// The first three bytes give the width, the height and the format; the rest of the input, repeated
// as often as it takes, is the pixels, so that runs and repeated rows come from mutations.
#include "Platform/codecs/PngEncoder.h"
#include "fuzz/FuzzSupport.h"

#include <QImage>

#include <cstdlib>
#include <iterator>

namespace {

QImage readBack(const QByteArray &file)
{
    return QImage::fromData(file, "png").convertToFormat(QImage::Format_ARGB32);
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
        // An image without alpha holds its padding byte set, as Qt makes every such image.
        if (format == QImage::Format_RGBX8888) {
            for (qsizetype x = 3; x < qsizetype(width) * 4; x += 4)
                row[x] = 0xff;
        }
    }
    // A premultiplied image holds no colour brighter than its alpha.
    if (format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGBA8888_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32).convertToFormat(format);
    const QImage written = readBack(PngEncoder::encode(image));
    if (written.isNull() || written != image.convertToFormat(QImage::Format_ARGB32))
        std::abort();
    return 0;
}
