#pragma once

#include <QPainterPath>
#include <QSize>

#include <functional>

class QWidget;

// What a floating panel needs of the window system beyond Qt's own window flags.
namespace FloatingPanel {

// Shows `window` on every virtual desktop. Call once the window has its native handle, before it
// is shown; does nothing where the window system has no desktops to join.
void joinAllDesktops(QWidget *window);

// Keeps `panel` above the program's other windows while it shows: a window manager does that from the
// panel's window state, but a bare X server stacks the last window mapped on top, so a window of the
// program that opens or comes forward later would cover the panel. Menus and tool tips still open
// above it. Call once; it lasts as long as the panel.
void keepAboveOwnWindows(QWidget *panel);

// Whether what a window leaves transparent shows what lies behind it: on X11 only while a
// compositing manager runs (someone owns "_NET_WM_CM_S<screen>"), else those pixels show black;
// window systems that always compose (and the offscreen one) answer true.
bool compositingManagerRunning();

// A panel drawn as a rounded shape: translucent where a compositing manager runs; otherwise opaque
// and cut to `shape` (given the window's size), cut again whenever the window's size changes, so
// that no corner or margin shows black. Call once, before the window is shown.
void useTranslucencyOrShape(QWidget *window, std::function<QPainterPath(const QSize &size)> shape);

} // namespace FloatingPanel
