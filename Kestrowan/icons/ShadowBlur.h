#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

// The soft drop shadow of whatever a layer holds, built from the layer's coverage.
namespace ShadowBlur {

// Blurs an 8-bit coverage buffer in place with three box passes per axis, close to a Gaussian of
// standard deviation `sigma` pixels. Pixels beyond the buffer count as empty.
void blurCoverage(quint8 *coverage, int width, int height, qreal sigma);

// The blur a shadow gets: blurCoverage's, made at half the resolution when it is wide enough that
// no level moves by more than a few (a shadow of a seventh's strength, as the icons draw, by none
// that shows).
// `origin`: where the buffer's first pixel lies on the canvas.
void blurShadowCoverage(quint8 *coverage, int width, int height, qreal sigma, const QPoint &origin = {});

// The layer with its shadow beneath it: the layer's alpha, blurred as blurShadowCoverage blurs it and tinted with `color` and moved
// by `offset` pixels, composited under the layer itself. The result has the layer's size.
// `origin`: where the layer lies on the canvas.
QImage underlay(const QImage &layer, const QPointF &offset, qreal sigma, const QColor &color, const QPoint &origin = {});

} // namespace ShadowBlur
