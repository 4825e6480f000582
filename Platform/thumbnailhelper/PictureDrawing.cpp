#include "Platform/thumbnailhelper/PictureDrawing.h"

#include "Platform/BoundedFile.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace {

// A preview shows a picture at most 256 pixels across its short side; long panoramas are capped
// at 2048 on their long side.
constexpr qreal kShortSide = 256;
constexpr qreal kLongSide = 2048;
// Formats that cannot shrink while decoding are refused beyond this many pixels (about 160 MB).
constexpr qint64 kMaximumWholePixels = 40'000'000;
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
    if (!bytes)
        return std::nullopt;
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return std::nullopt;
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        const QSize target = previewSize(size);
        // JPEG decodes straight to a fraction of its size; other formats decode whole first.
        const bool shrinksWhileDecoding = reader.format() == "jpeg";
        if (!shrinksWhileDecoding && qint64(size.width()) * size.height() > kMaximumWholePixels)
            return std::nullopt;
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
