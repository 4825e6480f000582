#pragma once

#include "Kestrowan/dock/DockPosition.h"

#include <QPointF>
#include <QRect>
#include <QRectF>

// Where the popup can go: the Dock's edge and the visible frame of the Dock's screen, and the flip
// between Qt's window space (origin at the top left of the primary screen, y downward) and the
// bottom-left space that anchors and placements are given in.
namespace PopupScreenGeometry {

// From the Dock's "orientation" preference, in any letter case; anything else is the bottom.
DockPosition currentDockPosition();
// The usable area of the screen that holds the Dock, in the bottom-left space.
QRectF dockVisibleFrame();

QRectF toBottomLeftSpace(const QRectF &windowRect);
QPointF toBottomLeftSpace(const QPointF &windowPoint);
QRectF toWindowSpace(const QRectF &bottomLeftRect);

} // namespace PopupScreenGeometry
