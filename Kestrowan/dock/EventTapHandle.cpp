#include "Kestrowan/dock/EventTapHandle.h"

#include <utility>

void EventTapHandle::stopEventTap()
{
    // Moved out first: switching a tap off may deliver events that end up here again.
    std::unique_ptr<EventTap> tap = std::move(m_tap);
    if (!tap)
        return;
    tap->setEnabled(false);
    tap->withdraw();
}

void EventTapHandle::replace(std::unique_ptr<EventTap> tap)
{
    std::unique_ptr<EventTap> old = std::exchange(m_tap, std::move(tap));
    old.reset();
}
