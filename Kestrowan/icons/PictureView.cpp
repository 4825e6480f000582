#include "Kestrowan/icons/PictureView.h"

#include "NVLXDesign/ContinuousShape.h"

#include <QCache>
#include <QPainter>
#include <QTimer>

namespace {

// A picture shrunk for a frame is kept for the next view that shows the same picture at the same
// size: a popup shown again builds its cells anew, and scaling each large preview down with a
// proper filter again would cost more than the rest of the popup's first frame.
struct ScaledKey {
    qint64 image;
    QSize pixels;
    bool operator==(const ScaledKey &other) const { return image == other.image && pixels == other.pixels; }
};

size_t qHash(const ScaledKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.image, key.pixels.width(), key.pixels.height());
}

// In kilobytes: a few hundred icon-sized pictures.
constexpr qsizetype scaledCacheKilobytes = 16 * 1024;

QCache<ScaledKey, QImage> &scaledPictures()
{
    static QCache<ScaledKey, QImage> cache(scaledCacheKilobytes);
    return cache;
}

// A small picture cut to its frame's rounded shape, as a view lays it down: views of the same
// picture in frames alike (the cells of a popup shown again) take it as it is. Filling the shape
// with the picture anew costs more than laying the finished one down, most of all in the frames of
// a popup's entrance, where everything is drawn scaled.
struct ShapedKey {
    qint64 picture;
    QSize frame;
    int ratio; // hundredths
    int corner; // hundredths of a point
    bool fit;
    bool operator==(const ShapedKey &other) const
    {
        return picture == other.picture && frame == other.frame && ratio == other.ratio && corner == other.corner
            && fit == other.fit;
    }
};

size_t qHash(const ShapedKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.picture, key.frame.width(), key.frame.height(), key.ratio, key.corner, key.fit);
}

// Frames up to this many device pixels a side are kept; larger pictures are drawn as they go.
constexpr int shapedMostPixels = 256;
constexpr qsizetype shapedCacheKilobytes = 8 * 1024;

QCache<ShapedKey, QImage> &shapedPictures()
{
    static QCache<ShapedKey, QImage> cache(shapedCacheKilobytes);
    return cache;
}

} // namespace

PictureView::PictureView(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureView::setCornerRadius(qreal radius)
{
    m_cornerRadius = radius;
    update();
}

void PictureView::pictureChanged()
{
    m_scaledKey = 0;
    update();
}

QSize PictureView::drawnPixels(const QSize &imageSize) const
{
    const QSizeF shown =
        QSizeF(imageSize).scaled(QSizeF(size()), scaling() == Scaling::Fill ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio);
    return (shown * devicePixelRatioF()).toSize().expandedTo(QSize(1, 1));
}

QImage PictureView::drawnPicture(const QImage &image) const
{
    if (image.isNull())
        return image;
    const QSize devicePixels = drawnPixels(image.size());
    // The cache key names the pixels, which change with every edit of the image: the same key is
    // the same picture.
    const ScaledKey key{image.cacheKey(), devicePixels};
    if (const QImage *kept = scaledPictures().object(key))
        return *kept;
    // Scaling once with a proper filter: a painter shrinking a large bitmap on the fly aliases.
    QImage scaled = image.size() == devicePixels ? image : image.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled = scaled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Pixels as they are: the brush in paintEvent maps them onto the frame itself.
    scaled.setDevicePixelRatio(1);
    scaledPictures().insert(key, new QImage(scaled), qMax<qsizetype>(1, scaled.sizeInBytes() / 1024));
    return scaled;
}

void PictureView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_scaled = QImage();
    m_scaledKey = 0;
    releasePictures();
}

void PictureView::paintEvent(QPaintEvent *)
{
    if (!drawsPicture()) {
        if (!m_firstFrameQueued) {
            m_firstFrameQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_firstFrameDone = true;
                update();
            });
        }
        return;
    }
    const QImage image = picture();
    if (image.isNull() || width() <= 0 || height() <= 0)
        return;
    const qreal ratio = devicePixelRatioF();
    const QSizeF frame(size());
    const QSizeF imageSize = QSizeF(image.size());
    const QSizeF shown = imageSize.scaled(frame, scaling() == Scaling::Fill ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio);
    const QSize devicePixels = drawnPixels(image.size());
    if (m_scaledKey != image.cacheKey() || m_scaledFor != devicePixels || m_scaledRatio != ratio) {
        m_scaled = drawnPicture(image);
        m_scaledKey = image.cacheKey();
        m_scaledFor = devicePixels;
        m_scaledRatio = ratio;
    }
    const QSize framePixels = (frame * ratio).toSize();
    const bool keeps = framePixels.width() <= shapedMostPixels && framePixels.height() <= shapedMostPixels;
    const ShapedKey key{m_scaled.cacheKey(), size(), qRound(ratio * 100), qRound(m_cornerRadius * 100),
                        scaling() == Scaling::Fit};
    if (keeps) {
        if (const QImage *kept = shapedPictures().object(key)) {
            drawShaped(*kept);
            return;
        }
    }
    const auto fill = [&](QPainter &painter) {
        // Filling the clip shape with the picture as a brush keeps the rounded edge antialiased,
        // which a clip path would not.
        const QPointF origin((frame.width() - shown.width()) / 2, (frame.height() - shown.height()) / 2);
        QTransform placement;
        placement.translate(origin.x(), origin.y());
        placement.scale(shown.width() / m_scaled.width(), shown.height() / m_scaled.height());
        QBrush brush(m_scaled);
        brush.setTransform(placement);
        QPainterPath shape;
        if (m_cornerRadius > 0)
            shape = ContinuousShape::roundedRect(QRectF(rect()), m_cornerRadius);
        else
            shape.addRect(QRectF(rect()));
        if (scaling() == Scaling::Fit) {
            QPainterPath picturePath;
            picturePath.addRect(QRectF(origin, shown));
            shape = shape.intersected(picturePath);
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setPen(Qt::NoPen);
        painter.setBrush(brush);
        painter.drawPath(shape);
    };
    if (!keeps) {
        QPainter painter(this);
        fill(painter);
        return;
    }
    QImage shaped(framePixels, QImage::Format_ARGB32_Premultiplied);
    shaped.setDevicePixelRatio(ratio);
    shaped.fill(Qt::transparent);
    QPainter into(&shaped);
    fill(into);
    into.end();
    shapedPictures().insert(key, new QImage(shaped), qMax<qsizetype>(1, shaped.sizeInBytes() / 1024));
    drawShaped(shaped);
}

void PictureView::drawShaped(const QImage &shaped)
{
    QPainter painter(this);
    // Scaled only while a window grows in.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QPointF(0, 0), shaped);
}
