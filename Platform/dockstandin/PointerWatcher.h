#pragma once

#include "Platform/linux/X11RawInput.h"

#include <QObject>
#include <QPoint>

#include <atomic>
#include <mutex>

// Follows the pointer over the whole screen, whichever window it is over: XInput2 raw motion and
// button events on a connection of its own. Its thread sleeps until input comes (no wake-ups while
// nothing happens) and reads the pointer after events only; a warp, which raises no raw event, shows
// with the next move or press. Only a display without XInput2 is polled. Reports come from its
// thread; connect with a queued or automatic connection.
class PointerWatcher : public QObject {
    Q_OBJECT
public:
    PointerWatcher();
    ~PointerWatcher() override;

    bool start();
    void stop();

signals:
    // Root-window coordinates and the core button mask (Button1Mask and up).
    void pointerChanged(const QPoint &position, int buttons);

private:
    void readPointer();

    X11RawInput m_input;
    std::atomic<bool> m_eventCame{false};
    std::mutex m_readMutex;
    QPoint m_last{-1, -1};
    int m_lastButtons = -1;
};
