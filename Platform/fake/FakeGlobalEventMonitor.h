#pragma once

#include "Platform/GlobalEventMonitor.h"

#include <QGuiApplication>

// A monitor that tests drive: `press` and the Escape presses report as the desktop would, but only
// while the monitor is started. Like the desktop's, it reports Escape only while the keyboard is with
// another program: while a window of this one has the focus, the key is that window's.
class FakeGlobalEventMonitor final : public GlobalEventMonitor {
public:
    bool running = false;

    bool start() override { return running = true; }
    void stop() override { running = false; }

    void press(const QPoint &globalPosition, Qt::MouseButton button = Qt::LeftButton)
    {
        if (running)
            emit mouseDown(globalPosition, button);
    }
    // Escape pressed wherever the keyboard is now.
    void pressEscape()
    {
        if (running && !QGuiApplication::focusWindow())
            emit escapePressed();
    }
    // Escape pressed in another program's window, which the user has given the keyboard meanwhile.
    void pressEscapeInAnotherProgram()
    {
        if (running)
            emit escapePressed();
    }
};
