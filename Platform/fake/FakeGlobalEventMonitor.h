#pragma once

#include "Platform/GlobalEventMonitor.h"

// A monitor that tests drive: `press` and `pressEscape` report as the desktop would, but only while
// the monitor is started.
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
    void pressEscape()
    {
        if (running)
            emit escapePressed();
    }
};
