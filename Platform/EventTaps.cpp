#include "Platform/EventTaps.h"

#include "Platform/linux/DockSocketEventTaps.h"

namespace {

std::unique_ptr<EventTaps> &installed()
{
    static std::unique_ptr<EventTaps> instance;
    return instance;
}

} // namespace

EventTaps &EventTaps::shared()
{
    std::unique_ptr<EventTaps> &current = installed();
    if (!current)
        current = std::make_unique<DockSocketEventTaps>();
    return *current;
}

void EventTaps::install(std::unique_ptr<EventTaps> taps)
{
    installed() = std::move(taps);
}
