#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

// The soft drop shadow of whatever a layer holds, built from the layer's coverage.
namespace ShadowBlur {

// Blurs an 8-bit coverage buffer in place with three box passes per axis, close to a Gaussian of
// standard deviation `sigma` pixels. Pixels beyond the buffer count as empty.
void blurCoverage(quint8 *coverage, int width, int height, qreal sigma);

// The layer with its shadow beneath it: the layer's alpha, blurred and tinted with `color` and moved
// by `offset` pixels, composited under the layer itself. The result has the layer's size.
QImage underlay(const QImage &layer, const QPointF &offset, qreal sigma, const QColor &color);

} // namespace ShadowBlur
