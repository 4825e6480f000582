#pragma once

#include <QObject>

#include <functional>

// Runs work once the event loop has handled what is waiting now, the repaint of a change included.
// Qt posts a widget's repaint at low priority and may serve a zero-time timer before it; work
// posted here comes after it, so a key's echo reaches the screen before what the key set going.
// The work is dropped if `context` goes first.
namespace AfterRepaint {
void post(QObject *context, std::function<void()> work);
}
