#include "Kestrowan/icons/PictureView.h"

#include "NVLXDesign/ContinuousShape.h"

#include <QPainter>
#include <QTimer>

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
    // Scaling once with a proper filter: a painter shrinking a large bitmap on the fly aliases.
    QImage scaled = image.size() == devicePixels ? image : image.scaled(devicePixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled = scaled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Pixels as they are: the brush in paintEvent maps them onto the frame itself.
    scaled.setDevicePixelRatio(1);
    return scaled;
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
    // Filling the clip shape with the picture as a brush keeps the rounded edge antialiased, which
    // a clip path would not.
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
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(brush);
    painter.drawPath(shape);
}
