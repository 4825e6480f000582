#pragma once

#include "Kestrowan/dock/DockItemInfo.h"

#include <QPointF>
#include <QRect>
#include <QRectF>

// Where the popup can go, and the flip between Qt's window space (origin at the top left of the
// primary screen, y downward) and the bottom-left space that anchors and placements are given in.
namespace PopupScreenGeometry {

// The usable area of the screen that holds the Dock, in the bottom-left space.
QRectF dockVisibleFrame();
// Whether a global window-space point lies on the Dock's band: presses there are the Dock's.
bool isOnDock(const QPoint &windowPoint);

QRectF toBottomLeftSpace(const QRectF &windowRect);
QRectF toWindowSpace(const QRectF &bottomLeftRect);

} // namespace PopupScreenGeometry
