#pragma once

#include "Kestrowan/dock/DockItemInfo.h"
#include "Platform/Accessibility.h"
#include "Platform/Screens.h"

#include <QList>
#include <QPointF>
#include <QRectF>

#include <optional>

// The Dock's geometry, read afresh at every call: its tiles through Accessibility, its edge and
// auto-hide from its preferences, its band from the screens. Two spaces are in use: the
// top-left-origin space of Accessibility and the event taps ("quartz"), and the bottom-left-origin
// space of screens, the pointer, the Dock frame and windows ("appKit").
namespace DockPositionResolver {

struct ScreenSpace {
    ScreenDescription screen;
    QRectF cgBounds;
};

std::optional<DockItemInfo> makeDockItemInfo(const AXUIElement &element);
QList<DockItemInfo> readDockItems();
std::optional<DockItemInfo> dockItemAtPoint(const QPointF &quartzPoint, qreal tolerance);
// The tile whose Accessibility element is at the point, else the nearest within `tolerance`.
std::optional<DockItemInfo> dockItemUnderPoint(const QPointF &quartzPoint, qreal tolerance);

// The part of a tile that counts as a hit: the frame less 8 % of its width at each side and 10 %
// of its height at top and bottom (at least 1 point), or the frame itself when too small for that.
QRectF hitRect(const QRectF &frame);
std::optional<DockItemInfo> hitTestDockItem(const QList<DockItemInfo> &items, DockPosition position,
                                            const QPointF &quartzPoint);

std::optional<qint64> dockProcessID();
DockPosition currentDockPosition();
bool dockAutohides();
// The screen that holds the Dock; nullopt only when the system reports no screen at all.
std::optional<ScreenDescription> dockScreen();
// The Dock's band (appKit): a 4-point strip when it hides, else the band the visible frame leaves.
QRectF dockFrame(const std::optional<ScreenDescription> &screen = std::nullopt);
QList<ScreenSpace> screenSpaces();

QPointF convertAppKitPointToQuartz(const QPointF &point);
QPointF convertQuartzPointToAppKit(const QPointF &point);
QRectF convertQuartzRectToAppKit(const QRectF &rect);

// The orientation text of the preferences as an edge: "left" and "right" in any letter case.
DockPosition dockPositionFromOrientation(const QString &orientation);

} // namespace DockPositionResolver
