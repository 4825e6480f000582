#pragma once

#include "Platform/GlobalEventMonitor.h"
#include "Platform/linux/X11RawInput.h"

#include <atomic>

// XInput2 raw button and key presses on the root window. Raw key events name only the key, so every
// key but Escape is dropped right where it is read. Without an X server (or XInput2) it starts nothing.
class X11GlobalEventMonitor final : public GlobalEventMonitor {
public:
    bool start() override;
    void stop() override;

private:
    void handle(xcb_generic_event_t *event);

    X11RawInput m_input;
    std::atomic<quint8> m_escapeKeycode{0};
};
