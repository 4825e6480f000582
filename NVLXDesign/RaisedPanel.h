#pragma once

#include "NVLXDesign/EffectiveAppearance.h"

#include <QRect>
#include <QRectF>

class QPainter;

// The kit's raised panel inside a window of its own (a menu, a question): the window cleared to
// transparent, then the panel, a continuous rounded rectangle of `radius` in the raised surface
// colour with a hairline outline in the strong border colour, drawn for `appearance`.
void paintRaisedPanel(QPainter &painter, const QRect &window, const QRectF &panel, qreal radius, EffectiveAppearance appearance);
