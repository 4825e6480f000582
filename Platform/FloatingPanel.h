#pragma once

class QWidget;

// What a floating panel needs of the window system beyond Qt's own window flags.
namespace FloatingPanel {

// Shows `window` on every virtual desktop. Call once the window has its native handle, before it
// is shown; does nothing where the window system has no desktops to join.
void joinAllDesktops(QWidget *window);

} // namespace FloatingPanel
