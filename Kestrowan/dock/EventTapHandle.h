#pragma once

#include "Platform/EventTaps.h"

#include <memory>

// One installed event tap. Stopping or destroying the handle switches the tap off and removes it.
class EventTapHandle {
public:
    EventTapHandle() = default;
    ~EventTapHandle() { stopEventTap(); }
    EventTapHandle(const EventTapHandle &) = delete;
    EventTapHandle &operator=(const EventTapHandle &) = delete;

    void stopEventTap();
    void adopt(std::unique_ptr<EventTap> tap) { m_tap = std::move(tap); }
    EventTap *tap() const { return m_tap.get(); }
    bool isRunning() const { return m_tap != nullptr; }

private:
    std::unique_ptr<EventTap> m_tap;
};
