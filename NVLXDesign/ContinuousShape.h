#pragma once

#include <QPainterPath>
#include <QRectF>

// Rounded rectangles with continuous corners: each corner eases into its edges over about one and a
// half radii instead of meeting them with a kink, as a circular arc does.
namespace ContinuousShape {

// A rectangle whose corners have radius `radius`. When the rectangle is too small for the eased
// corners it falls back to circular ones, at most half the shorter side.
QPainterPath roundedRect(const QRectF &rect, qreal radius);
// Ends fully rounded: a pill as long and as high as `rect`.
QPainterPath capsule(const QRectF &rect);

} // namespace ContinuousShape
