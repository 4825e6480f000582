#include "NVLXDesign/SoftShadow.h"

#include "NVLXDesign/ContinuousShape.h"

#include <QPainter>
#include <QtMath>

void paintSoftShadow(QPainter &painter, const QRectF &rect, qreal cornerRadius, const QColor &color, qreal radius,
                     const QPointF &offset)
{
    if (color.alpha() == 0)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // Stacked outlines from the widest and faintest inwards: the overlap builds up towards the
    // shape's edge, which reads as a blur of about `radius`.
    const int layers = qMax(2, qCeil(radius * 2));
    QColor layer = color;
    layer.setAlphaF(float(color.alphaF() * 2.0 / layers));
    const QRectF base = rect.translated(offset);
    for (int k = 0; k < layers; ++k) {
        const qreal grow = radius * (1.0 - qreal(k) / layers) - radius / 2;
        painter.setBrush(layer);
        painter.drawPath(ContinuousShape::roundedRect(base.adjusted(-grow, -grow, grow, grow), qMax<qreal>(0, cornerRadius + grow)));
    }
    painter.restore();
}
