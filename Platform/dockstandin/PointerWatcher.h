#pragma once

#include <QObject>
#include <QPoint>

#include <atomic>
#include <thread>

struct xcb_connection_t;

// Follows the pointer over the whole screen, whichever window it is over: XInput2 raw motion and
// button events on a connection of its own. Its thread sleeps until input comes (no wake-ups while
// nothing happens) and reads the pointer after each burst of events; only a display without XInput2
// is polled. Reports come from its thread; connect with a queued or automatic connection.
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
    void run();

    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
    int m_wake[2] = {-1, -1};
    bool m_rawEvents = false;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
