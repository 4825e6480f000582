#pragma once

#include "Platform/EventTaps.h"

#include <memory>

// One installed event tap. Stopping or destroying the handle switches the tap off and takes it out
// for good; replacing it puts a new tap in its place.
class EventTapHandle {
public:
    EventTapHandle() = default;
    ~EventTapHandle() { stopEventTap(); }
    EventTapHandle(const EventTapHandle &) = delete;
    EventTapHandle &operator=(const EventTapHandle &) = delete;

    void stopEventTap();
    void adopt(std::unique_ptr<EventTap> tap) { m_tap = std::move(tap); }
    // The old tap goes without being taken out: the stream may wait for the new one in its place,
    // so that no event slips past the program in between.
    void replace(std::unique_ptr<EventTap> tap);
    EventTap *tap() const { return m_tap.get(); }
    bool isRunning() const { return m_tap != nullptr; }

private:
    std::unique_ptr<EventTap> m_tap;
};
