#include "Platform/fake/FakeEventTaps.h"

#include "Platform/dockstandin/wire/DockWire.h"

#include <algorithm>

FakeEventTap::FakeEventTap(CGEventTapLocation location, CGEventTapPlacement placement, CGEventTapOptions options,
                           quint64 eventsOfInterest, EventTapCallback callback, quint32 serial)
    : location(location)
    , placement(placement)
    , options(options)
    , eventsOfInterest(eventsOfInterest)
    , serial(serial)
    , m_callback(std::move(callback))
{
}

QList<FakeEventTap *> FakeEventTaps::liveTaps() const
{
    QList<FakeEventTap *> live;
    for (const QPointer<FakeEventTap> &tap : m_taps) {
        if (tap)
            live.append(tap.data());
    }
    std::sort(live.begin(), live.end(), [](const FakeEventTap *a, const FakeEventTap *b) {
        return DockWire::tapOrder(a->location, a->placement == CGEventTapPlacement::HeadInsert, a->serial)
            < DockWire::tapOrder(b->location, b->placement == CGEventTapPlacement::HeadInsert, b->serial);
    });
    return live;
}

bool FakeEventTaps::deliver(const CGEvent &event, CGEventTapLocation from)
{
    const int fromLevel = DockWire::encodeLocation(from);
    QList<QPointer<FakeEventTap>> taps;
    for (FakeEventTap *tap : liveTaps())
        taps.append(tap);
    // A callback may remove taps, its own or later ones.
    for (const QPointer<FakeEventTap> &tap : taps) {
        if (!tap || !tap->isEnabled() || DockWire::encodeLocation(tap->location) < fromLevel
            || !(tap->eventsOfInterest & eventMaskBit(event.type)))
            continue;
        const bool listenOnly = tap->options == CGEventTapOptions::ListenOnly;
        if (tap->call(event.type, event) == EventTapVerdict::Drop && !listenOnly)
            return false;
    }
    return true;
}

void FakeEventTaps::disableByTimeout(FakeEventTap *tap)
{
    if (!tap)
        return;
    tap->setEnabled(false);
    CGEvent notice;
    notice.type = CGEventType::TapDisabledByTimeout;
    tap->call(notice.type, notice);
}

std::unique_ptr<EventTap> FakeEventTaps::createTap(CGEventTapLocation location, CGEventTapPlacement placement,
                                                   CGEventTapOptions options, quint64 eventsOfInterest,
                                                   EventTapCallback callback)
{
    if (refuseTaps || !callback)
        return nullptr;
    auto tap = std::make_unique<FakeEventTap>(location, placement, options, eventsOfInterest, std::move(callback),
                                              quint32(++createdTaps));
    m_taps.append(tap.get());
    return tap;
}

void FakeEventTaps::postEvent(CGEventTapLocation location, const CGEvent &event)
{
    posted.append({location, event});
}
