#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

// The bar's place in the window manager's arrangement: the strut that keeps other windows out of
// its band, so that the screen's usable area excludes it. Without a window manager nobody turns
// struts into a work area, so the Dock publishes the work area itself and takes it back on exit.
class X11Struts {
public:
    // `band` is the edge band of `screen` to reserve (empty: none), in root coordinates.
    static void reserve(QWidget *bar, const QString &orientation, const QRect &band, const QRect &screen);
    static void releaseWorkArea();
    // The menu-bar strip along the top edge, this many pixels high (0: none): the usable area
    // leaves it out as it leaves out the bar, so that nothing is placed under the menu bar.
    static void setMenuBarHeight(int height);

private:
    static bool windowManagerRunning();
};
