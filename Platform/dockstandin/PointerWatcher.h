#pragma once

#include "Platform/linux/X11RawInput.h"

#include <QObject>
#include <QPoint>

// Follows the pointer over the whole screen, whichever window it is over: XInput2 raw motion and
// button events on a connection of its own, with a slow poll for pointer warps, which raise no raw
// event. Reports come from its thread; connect with a queued or automatic connection.
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
    QPoint m_last{-1, -1};
    int m_lastButtons = -1;
};
