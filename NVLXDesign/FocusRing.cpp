#include "NVLXDesign/FocusRing.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"

#include <QPainter>
#include <QWidget>

void paintFocusRing(QPainter &painter, const QWidget *widget, const QRectF &rect, qreal cornerRadius)
{
    if (!widget->hasFocus())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(1.0);
    painter.setPen(QPen(DS::borderFocus.resolve(widget), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(ContinuousShape::roundedRect(rect.adjusted(1, 1, -1, -1), qMax<qreal>(0, cornerRadius - 1)));
    painter.restore();
}
