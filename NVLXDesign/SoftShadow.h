#pragma once

#include <QColor>
#include <QPointF>
#include <QRectF>

class QPainter;

// A small soft shadow under a continuous rounded rectangle, painted directly (no graphics effect, so
// it also works inside widgets that carry an effect of their own): `radius` is how far it spreads,
// `offset` moves it (y downwards). Meant for shadows of a few points.
void paintSoftShadow(QPainter &painter, const QRectF &rect, qreal cornerRadius, const QColor &color, qreal radius,
                     const QPointF &offset);
