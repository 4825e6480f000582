#pragma once

#include "Platform/GlobalEventMonitor.h"
#include "Platform/linux/X11RawInput.h"

#include <atomic>

// XInput2 raw button and key presses on the root window. Raw key events name only the key, so every
// key but Escape is dropped right where it is read, and an Escape is reported only when the keyboard
// is with another program: the window that has the input focus (or, where the focus follows the
// pointer, the window under it) is not one of ours. Without an X server (or XInput2) it starts
// nothing. Its connection and reading thread are made at the first start and kept until the monitor
// goes: a stop only tells the server to send nothing more, so a start again is one request.
class X11GlobalEventMonitor final : public GlobalEventMonitor {
public:
    ~X11GlobalEventMonitor() override;
    bool start() override;
    void stop() override;

private:
    void handle(xcb_generic_event_t *event);
    // Whether the keys typed now go to a window of this program. Asked on the reading thread, over
    // its own connection, when the key is read: by the time the report reaches the main thread the
    // focus may have moved.
    bool keyboardIsOurs() const;
    bool isOurWindow(xcb_window_t window) const;

    X11RawInput m_input;
    std::atomic<quint8> m_escapeKeycode{0};
    // Whether reports are wanted now, and which start they belong to: what was read before a stop
    // but reaches the main thread after it (or after the next start) is dropped.
    std::atomic<bool> m_active{false};
    std::atomic<quint64> m_epoch{0};
    // The last stop's request: what the server sent before it is from before the stop, however late
    // the thread reads it. The main thread's round trips read events into the connection's queue
    // where the sleeping thread does not see them until the server next writes, which may be the
    // answer to the next start: an Escape typed into the last popup would close the next one.
    std::atomic<quint32> m_stopSequence{0};
    // Every window the program makes is made over Qt's connection, whose ids share its base.
    quint32 m_ownIdBase = 0;
    quint32 m_ownIdMask = 0;
};
