#pragma once

#include "Platform/fake/FakeAccessibility.h"
#include "Platform/fake/FakeDockPreferences.h"
#include "Platform/fake/FakeEventTaps.h"
#include "Platform/fake/FakeScreens.h"

#include <QList>
#include <QPointF>

// The platform of a Dock test or benchmark: an in-memory Dock tree, pointer stream, screens and Dock
// preferences, installed for the life of the object. One 1440 by 900 screen whose visible frame
// leaves 70 points for a bottom Dock and 25 for the menu bar.
class FakeDockPlatform {
public:
    FakeDockPlatform();
    ~FakeDockPlatform();

    FakeAccessibility *accessibility;
    FakeEventTaps *taps;
    FakeScreens *screens;
    FakeDockPreferences *preferences;

    // Tiles 56 points square along the bottom edge, 4 points apart, the first at x = 100.
    static QRectF bottomTile(int index);

    void setOrientation(const QString &orientation, bool autohide = false);
    // Puts the pointer at a quartz point and sends the move through the taps.
    void movePointer(const QPointF &quartzPoint);
    // A button event at a quartz point through the taps; false when a tap dropped it.
    bool button(CGEventType type, const QPointF &quartzPoint);
};
