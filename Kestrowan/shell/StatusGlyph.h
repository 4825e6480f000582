#pragma once

#include <QImage>

// The menu-bar picture: a small face outline, drawn once per process and reused. 18 by 18 points,
// black on transparent (a template picture the bar tints), at twice the pixel density.
const QImage &statusGlyph();

// The same drawing at any scale (pixels per point), for the cached picture and for tests.
QImage drawStatusGlyph(qreal scale);
