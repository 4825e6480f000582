#pragma once

class QWidget;

// Giving a window of the program the keyboard.
namespace KeyboardFocus {

// Gives the keyboard to `window`, just shown or brought forward, as the user's own action would: the
// window system's focus with the server's time as it is now. A request stamped with the time of the
// last event the program happened to read loses to any later change of the focus (a window of the
// program hidden since gave the focus back to the desktop) and is dropped without a word; a panel
// kept between shows would take the keyboard on every second show only. Where a window manager
// hands out the focus it is asked to; elsewhere the focus is set directly. Does nothing for a hidden
// window.
void take(QWidget *window);

// The window of the program that has the keyboard now, as the window system says (not what the
// toolkit last heard of it); null when the keys go to another program or nowhere.
QWidget *holder();

// Whether no window has the keyboard: the one that had it went away and the desktop took it back,
// so that keys go to whatever lies under the pointer.
bool isUnclaimed();

} // namespace KeyboardFocus
