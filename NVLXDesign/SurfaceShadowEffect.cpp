#include "NVLXDesign/SurfaceShadowEffect.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QPainter>
#include <QPaintDevice>
#include <QPixmap>
#include <QWidget>

#include <algorithm>

// The blur of Qt's own drop-shadow filter, which the toolkit exports for effects made outside it: the
// shadow made here is the very one the plain effect draws.
Q_DECL_IMPORT void qt_blurImage(QPainter *p, QImage &blurImage, qreal radius, bool quality, bool alphaOnly, int transposed = 0);

SurfaceShadowEffect::SurfaceShadowEffect(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset)
    : DynamicShadowEffect(target, color, radius, offset), m_surfaceWidget(target)
{
}

SurfaceShadowEffect *SurfaceShadowEffect::apply(QWidget *target, const DynamicColor &color, qreal radius, const QPointF &offset)
{
    auto *effect = new SurfaceShadowEffect(target, color, radius, offset);
    target->setGraphicsEffect(effect);
    return effect;
}

bool SurfaceShadowEffect::eventFilter(QObject *watched, QEvent *event)
{
    // Another look may draw the surface's outline in another colour.
    if (watched == m_surfaceWidget && (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange))
        m_key.reset();
    return DynamicShadowEffect::eventFilter(watched, event);
}

bool SurfaceShadowEffect::holdsEffectOfItsOwn() const
{
    const QList<QWidget *> inside = m_surfaceWidget->findChildren<QWidget *>();
    return std::any_of(inside.cbegin(), inside.cend(), [](const QWidget *widget) {
        const QGraphicsEffect *effect = widget->graphicsEffect();
        return effect && effect->isEnabled() && widget->isVisible();
    });
}

QImage SurfaceShadowEffect::renderedSurface(const QRect &area, const QRect &sourceRect, qreal devicePixelRatio) const
{
    // Rendered here rather than through sourcePixmap(): the source keeps the last such picture and
    // drawSource() lays that down again instead of the widget for as long as the toolkit thinks it
    // current, which it does across changes made while the widget was hidden (a look switched on
    // another page), and after the widget moved: the bar came back blank beside its shadow.
    QImage picture((QSizeF(area.size()) * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(devicePixelRatio);
    picture.fill(0);
    m_surfaceWidget->render(&picture, sourceRect.topLeft() - area.topLeft(), QRegion(), QWidget::DrawChildren);
    return picture;
}

void SurfaceShadowEffect::draw(QPainter *painter)
{
    if ((blurRadius() <= 0 && offset().isNull()) || !painter->device()) {
        DynamicShadowEffect::draw(painter);
        return;
    }
    // The place of the padded picture the plain effect would make: the widget's rectangle on the
    // device grown by the shadow.
    const QRect sourceRect = sourceBoundingRect(Qt::DeviceCoordinates).toAlignedRect();
    const QRect padded = boundingRectFor(sourceRect).toAlignedRect();
    const qreal ratio = painter->device()->devicePixelRatio();
    const Key key{sourceRect.size(), padded.translated(-sourceRect.topLeft()), ratio, color().rgba(), blurRadius(), offset()};

    const QTransform restoreTransform = painter->worldTransform();
    if (m_key != key) {
        // Made as the plain effect makes it, from the widget rendered once.
        const QImage surface = renderedSurface(padded, sourceRect, ratio);
        QImage alpha(surface.size(), QImage::Format_ARGB32_Premultiplied);
        alpha.setDevicePixelRatio(ratio);
        alpha.fill(0);
        QPainter alphaPainter(&alpha);
        alphaPainter.setCompositionMode(QPainter::CompositionMode_Source);
        alphaPainter.drawImage(offset(), surface);
        alphaPainter.end();
        QImage shadow(alpha.size(), QImage::Format_ARGB32_Premultiplied);
        shadow.setDevicePixelRatio(ratio);
        shadow.fill(0);
        QPainter blurPainter(&shadow);
        qt_blurImage(&blurPainter, alpha, blurRadius(), false, true);
        blurPainter.end();
        QPainter colorPainter(&shadow);
        colorPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        colorPainter.fillRect(shadow.rect(), color());
        colorPainter.end();
        m_shadow = std::move(shadow);
        m_key = key;
    }
    painter->setWorldTransform(QTransform());
    painter->drawImage(padded.topLeft(), m_shadow);
    if (holdsEffectOfItsOwn()) {
        painter->drawImage(sourceRect.topLeft(), renderedSurface(sourceRect, sourceRect, ratio));
        painter->setWorldTransform(restoreTransform);
        return;
    }
    painter->setWorldTransform(restoreTransform);
    drawSource(painter);
}
