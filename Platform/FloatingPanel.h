#pragma once

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

} // namespace FloatingPanel
