#include "NVLXDesign/RaisedPanel.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"

#include <QPainter>

void paintRaisedPanel(QPainter &painter, const QRect &window, const QRectF &panel, qreal radius, EffectiveAppearance appearance)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(window, Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const QPainterPath shape = ContinuousShape::roundedRect(panel.adjusted(0.5, 0.5, -0.5, -0.5), radius);
    painter.fillPath(shape, DS::surfaceElevated.resolve(appearance));
    painter.setPen(QPen(DS::borderStrong.resolve(appearance), 1));
    painter.drawPath(shape);
    painter.restore();
}
