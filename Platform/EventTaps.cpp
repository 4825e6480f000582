#include "Platform/EventTaps.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DockSocketEventTaps.h"

EventTaps &EventTaps::shared()
{
    return sharedPort<EventTaps, DockSocketEventTaps>();
}

void EventTaps::install(std::unique_ptr<EventTaps> taps)
{
    installedPort<EventTaps>() = std::move(taps);
}
