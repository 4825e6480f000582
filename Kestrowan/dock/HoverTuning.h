#pragma once

#include "Kestrowan/dock/DockItemInfo.h"

#include <QRectF>
#include <QString>

// How far the pointer may stray from the Dock and how long it may stay away before a hover ends,
// from the Dock's edge and auto-hide and the "hoverSensitivity" and "closeDelay" settings.
struct HoverTuning {
    double hoverDelay = 0;
    double graceDelay = 0.30;
    qreal edgeMargin = 8;
    qreal interiorMargin = 10;

    static HoverTuning compute(DockPosition position, bool autohide, const QString &sensitivity, const QString &closeDelay);
    // Read now from the Dock's preferences and the program's settings.
    static HoverTuning current();

    // The Dock frame (appKit) grown by the margins: 18 points past both ends, `edge` past the
    // screen edge and `interior` into the screen.
    static QRectF dockZoneRect(const QRectF &dockFrame, DockPosition position, qreal edge, qreal interior);
};
