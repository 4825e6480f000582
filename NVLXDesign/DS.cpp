#include "NVLXDesign/DS.h"

QLinearGradient DS::accentGradient(const QRectF &rect)
{
    QLinearGradient gradient(QPointF(rect.center().x(), rect.top()), QPointF(rect.center().x(), rect.bottom()));
    gradient.setColorAt(0, colorFromHex(0xFF7B5A));
    gradient.setColorAt(1, colorFromHex(0xFF4520));
    return gradient;
}
