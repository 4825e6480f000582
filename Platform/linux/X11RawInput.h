#pragma once

#include <QPoint>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

#include <xcb/xcb.h>

// A connection of its own to the X server that selects XInput2 raw events on the root window and
// reads them on a thread of its own, so that input meant for any window can be watched. The
// callbacks run on that thread.
class X11RawInput {
public:
    // Called for every event read; the event is freed afterwards.
    using EventHandler = std::function<void(xcb_generic_event_t *event)>;
    // Called after every wake-up (events or the poll's timeout).
    using WakeHandler = std::function<void()>;

    X11RawInput() = default;
    X11RawInput(const X11RawInput &) = delete;
    X11RawInput &operator=(const X11RawInput &) = delete;
    ~X11RawInput();

    // Connects and selects `rawEventMask` (XCB_INPUT_XI_EVENT_MASK_RAW_* bits). Without XInput2 it
    // fails unless `worksWithoutXInput2`, in which case it only wakes every `pollMilliseconds` (every
    // 100 ms when that is -1). `pollMilliseconds` -1 waits for events alone: the thread sleeps while
    // nothing happens.
    bool start(quint32 rawEventMask, bool worksWithoutXInput2, int pollMilliseconds, EventHandler onEvent,
               WakeHandler onWake = {});
    void stop();
    bool isRunning() const { return m_thread.joinable(); }
    // Selects another set of raw events on the running connection (0: none, the connection and
    // its thread stay). One round trip to the server. Gives the request's sequence number: what the
    // server sent before the new set took effect carries an earlier one (see `isSentBefore`), and
    // may still be on its way to the thread when this returns.
    quint32 selectEvents(quint32 rawEventMask);
    // Whether the server sent `event` before it took the request numbered `sequence`.
    static bool isSentBefore(const xcb_generic_event_t *event, quint32 sequence);

    xcb_connection_t *connection() const { return m_connection; }
    quint32 root() const { return m_root; }
    bool hasXInput2() const { return m_xinputOpcode != 0; }
    // Where the pointer is on the root window, with the state of the modifier keys and buttons
    // (XCB_KEY_BUT_MASK_* bits); nullopt when the server does not answer.
    struct Pointer {
        QPoint position;
        quint16 mask = 0;
    };
    std::optional<Pointer> queryPointer() const;
    // Whether `event` is an XInput2 event; its type is then the XInput2 event type, else 0.
    quint16 xinputEventType(const xcb_generic_event_t *event) const;

private:
    void run(int pollMilliseconds);

    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
    quint8 m_xinputOpcode = 0;
    EventHandler m_onEvent;
    WakeHandler m_onWake;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
