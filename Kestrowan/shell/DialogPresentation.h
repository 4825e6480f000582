#pragma once

class QDialog;
class QFileDialog;

// Opens `dialog` over its window as every dialog of the program opens: modal to that window,
// raised above it and given the keyboard, again once the window system has shown it (a window
// manager may map it after the request, and a dialog left behind its window makes the window look
// frozen: the window takes no input while its dialog waits unseen). Once answered, the keyboard
// goes back to the window.
void presentAboveWindow(QDialog *dialog);

// Makes `panel` the program's own file dialog, a window of its own process that `presentAboveWindow`
// can raise and give the keyboard, rather than a platform chooser in another process whose window
// the program cannot place. Call right after making the panel, before setting it up.
void useOwnFileDialog(QFileDialog *panel);
