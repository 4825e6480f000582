#include "Kestrowan/dock/EventTapHandle.h"

void EventTapHandle::stopEventTap()
{
    // Moved out first: switching a tap off may deliver events that end up here again.
    std::unique_ptr<EventTap> tap = std::move(m_tap);
    if (tap)
        tap->setEnabled(false);
}
