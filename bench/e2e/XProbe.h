#pragma once

#include <QHash>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

// What the benchmarks see of the X server from outside, as a user and a compositor would: input
// made through XTest, each top-level window's repaints as the server receives them (XDamage), which
// process owns a window, and how fast a window's event loop answers a window manager's ping.
// Times are CLOCK_MONOTONIC nanoseconds.
class XProbe {
public:
    struct Window {
        xcb_window_t id = 0;
        qint64 pid = 0;
        bool viewable = false;
        QRect geometry;
        qint64 lastDamage = 0;
        int damageCount = 0;
        // When each repaint since the last clearDamage() came.
        QList<qint64> damages;
    };

    explicit XProbe(const QString &display);
    ~XProbe();
    XProbe(const XProbe &) = delete;
    XProbe &operator=(const XProbe &) = delete;

    bool isValid() const { return m_connection != nullptr && m_damageEvent >= 0; }
    static qint64 now();

    // Reads every event waiting, and waits for more until `done` holds or `timeoutMs` passed.
    bool pumpUntil(const std::function<bool()> &done, int timeoutMs);
    // Reads what has arrived so far.
    void pump() { (void)pumpUntil([] { return true; }, 0); }

    // The top-level windows as the probe knows them (their owner and geometry read when first seen).
    const QHash<xcb_window_t, Window> &windows() const { return m_windows; }
    std::optional<Window> largestViewableWindowOf(qint64 pid, int minimumWidth = 0);
    // Forgets every repaint seen so far, so the next one counts.
    void clearDamage();
    // The first repaint after `since` of a viewable window of `pid` that is not `except`.
    std::optional<Window> damagedWindowOf(qint64 pid, qint64 since, xcb_window_t except = 0) const;
    bool anyViewableWindowOf(qint64 pid, xcb_window_t except = 0) const;
    // The screen's pixels in `rect` as the server holds them now; empty when they cannot be read.
    QByteArray screenPixels(const QRect &rect);
    QSize screenSize() const { return m_screenSize; }

    // XTest: the keyboard and the pointer. Each returns the time the request left for the server.
    qint64 pressKey(quint32 keysym, bool down);
    qint64 tapKey(quint32 keysym, const QList<quint32> &modifiers = {});
    qint64 movePointer(const QPoint &point);
    qint64 click(const QPoint &point);
    // `notches` turns of the wheel at `point`, down the page (positive) or up.
    qint64 scroll(const QPoint &point, int notches);

    // Sends a window manager's ping to `window` and counts the answers: `pingAnswered` is told each
    // answer's delay (send to answer) in nanoseconds.
    void ping(xcb_window_t window);
    int pingsOutstanding() const { return int(m_pingsSent.size()); }
    std::function<void(qint64 delay)> pingAnswered;

    // Asks the window to close, as a window manager's close button does.
    void requestClose(xcb_window_t window);

private:
    void track(xcb_window_t window);
    qint64 pidOf(xcb_window_t window);
    void handle(xcb_generic_event_t *event);
    xcb_atom_t atom(const char *name);
    qint64 flushed();
    void sendProtocolMessage(xcb_window_t window, xcb_atom_t protocol, quint32 argument);

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    QSize m_screenSize;
    xcb_key_symbols_t *m_keySymbols = nullptr;
    int m_damageEvent = -1;
    xcb_atom_t m_pidAtom = 0, m_protocolsAtom = 0, m_pingAtom = 0, m_deleteAtom = 0;
    QHash<xcb_window_t, Window> m_windows;
    QHash<quint32, xcb_window_t> m_damageOf;
    QHash<quint32, qint64> m_pingsSent;
    quint32 m_nextPing = 1;
};
