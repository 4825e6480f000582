#include "Platform/thumbnailhelper/PictureDrawing.h"

#include "Platform/BoundedFile.h"
#include "Platform/codecs/PictureBytes.h"
#include "Platform/codecs/ScaledPngReader.h"
#include "Platform/thumbnailhelper/IconDrawing.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace {

// A preview shows a picture at most 256 pixels across its short side; long panoramas are capped
// at 2048 on their long side.
constexpr qreal kShortSide = 256;
constexpr qreal kLongSide = 2048;
// A picture is read whole only up to four times the pixels of its preview, or this many; a larger
// one only by a reader that shrinks it as it reads (PNG files of every kind, JPEG files that are not
// progressive), and not at all beyond the second.
constexpr qint64 kWholeReadFloor = qint64(1024) * 1024;
constexpr qint64 kMaximumPixels = qint64(16384) * 16384;
// Larger picture files are not previewed.
constexpr qint64 kMaximumFileBytes = 128 * 1024 * 1024;

QSize previewSize(const QSize &size)
{
    const qreal factor = std::min({1.0, kShortSide / std::min(size.width(), size.height()),
                                   kLongSide / std::max(size.width(), size.height())});
    return QSize(std::max(1, int(std::lround(size.width() * factor))), std::max(1, int(std::lround(size.height() * factor))));
}

} // namespace

std::optional<QImage> PictureDrawing::draw(const QString &path)
{
    // Regular files only, read whole into memory first: a fifo named like a picture would block the
    // decoder until someone writes to it, and a device would never end.
    std::optional<QByteArray> bytes = readSmallFile(path, kMaximumFileBytes);
    if (!bytes || !PictureBytes::holdWhatTheyClaim(*bytes))
        return std::nullopt;
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return std::nullopt;
    // A picture preview is of a bitmap: a vector picture under a bitmap's name (compressed, it could
    // expand to gigabytes before Qt's reader gives its size) is no preview.
    if (reader.format().startsWith("svg"))
        return std::nullopt;
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        const QSize target = previewSize(size);
        const qint64 pixels = qint64(size.width()) * size.height();
        const qint64 wholeRead = std::max(4 * qint64(target.width()) * target.height(), kWholeReadFloor);
        if (pixels > kMaximumPixels)
            return std::nullopt;
        if (pixels > wholeRead) {
            // The PNG kinds Qt's reader would read whole are read by one that scales them as it
            // reads; a JPEG file that is not progressive decodes straight to a fraction of its
            // size; every other kind is decoded whole first, and refused.
            if (const std::optional<ScaledPngReader::Header> png = ScaledPngReader::header(*bytes)) {
                if (!ScaledPngReader::qtScalesWhileReading(*png))
                    return ScaledPngReader::read(*bytes, target, kMaximumPixels);
            } else if (reader.format() != "jpeg" || IconDrawing::isProgressiveJpeg(*bytes)) {
                return std::nullopt;
            }
        }
        if (target != size)
            reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    if (!size.isValid()) {
        const QSize target = previewSize(image.size());
        if (target != image.size())
            image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}
