#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

// The soft drop shadow of whatever a layer holds, built from the layer's coverage.
namespace ShadowBlur {

// Blurs an 8-bit coverage buffer in place with three box passes per axis, close to a Gaussian of
// standard deviation `sigma` pixels. Pixels beyond the buffer count as empty.
void blurCoverage(quint8 *coverage, int width, int height, qreal sigma);

// blurCoverage's blur, made at half the resolution, the pixels paired from even places on the canvas;
// `origin` is where the buffer's first pixel lies there. Levels move by up to ten.
void blurCoverageHalved(quint8 *coverage, int width, int height, qreal sigma, const QPoint &origin = {});

// Whether a shadow of `color` blurred by `sigma` is blurred at half the resolution: a wide enough
// blur of a faint enough shadow, which then moves by two levels at most.
bool blursAtHalfResolution(qreal sigma, const QColor &color);

// The layer with its shadow beneath it: the layer's alpha, blurred (at half the resolution when blursAtHalfResolution says) and tinted with `color` and moved
// by `offset` pixels, composited under the layer itself. The result has the layer's size.
// `origin`: where the layer lies on the canvas.
QImage underlay(const QImage &layer, const QPointF &offset, qreal sigma, const QColor &color, const QPoint &origin = {});

} // namespace ShadowBlur
