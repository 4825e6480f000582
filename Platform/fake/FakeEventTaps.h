#pragma once

#include "Platform/EventTaps.h"

#include <QList>
#include <QPointer>

class FakeEventTap;

// The window server's pointer stream in memory: tests make events, and the installed taps see them
// in the order the platform gives them.
class FakeEventTaps final : public EventTaps {
public:
    struct Posted {
        CGEventTapLocation location;
        CGEvent event;
    };

    bool refuseTaps = false;
    QList<Posted> posted;
    int createdTaps = 0;

    // Passes an event through the enabled taps (at `from` and after it); false when an active tap
    // dropped it.
    bool deliver(const CGEvent &event, CGEventTapLocation from = CGEventTapLocation::HID);
    // What the system does to a tap that answers too slowly: switches it off and tells it.
    void disableByTimeout(FakeEventTap *tap);

    QList<FakeEventTap *> liveTaps() const;

    std::unique_ptr<EventTap> createTap(CGEventTapLocation location, CGEventTapPlacement placement,
                                        CGEventTapOptions options, quint64 eventsOfInterest,
                                        EventTapCallback callback) override;
    void postEvent(CGEventTapLocation location, const CGEvent &event) override;

private:
    QList<QPointer<FakeEventTap>> m_taps;
};

class FakeEventTap final : public EventTap {
    Q_OBJECT
public:
    FakeEventTap(CGEventTapLocation location, CGEventTapPlacement placement, CGEventTapOptions options,
                 quint64 eventsOfInterest, EventTapCallback callback, quint32 serial);

    const CGEventTapLocation location;
    const CGEventTapPlacement placement;
    const CGEventTapOptions options;
    const quint64 eventsOfInterest;
    const quint32 serial;

    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }

    EventTapVerdict call(CGEventType type, const CGEvent &event) { return m_callback(type, event); }

private:
    EventTapCallback m_callback;
    bool m_enabled = true;
};
