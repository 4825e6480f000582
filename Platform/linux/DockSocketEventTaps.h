#pragma once

#include "Platform/EventTaps.h"
#include "Platform/linux/DockSocketLink.h"

#include <QCborMap>
#include <QTimer>

// Event taps on this machine: the stand-in Dock plays the window server's event stream for the
// pointer, so each tap is a connection to it on which it sends the events and waits for verdicts.
class DockSocketEventTaps final : public EventTaps {
public:
    std::unique_ptr<EventTap> createTap(CGEventTapLocation location, CGEventTapPlacement placement,
                                        CGEventTapOptions options, quint64 eventsOfInterest,
                                        EventTapCallback callback) override;
    void postEvent(CGEventTapLocation location, const CGEvent &event) override;

private:
    DockSocketChannel m_channel;
};

class DockSocketEventTap final : public EventTap {
    Q_OBJECT
public:
    DockSocketEventTap(const QCborMap &registration, bool listenOnly, EventTapCallback callback);

    // Connects and installs the tap in the Dock; false when there is no Dock or it refuses. On the
    // event loop's thread nothing waits: the tap is asked for, and a Dock that refuses it later
    // tells the callback that the tap was disabled.
    bool install();

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }
    bool isHeld() const override { return m_held; }
    void withdraw() override;

private:
    enum class Reinstall { Retry, GiveUp, Done };
    Reinstall reinstall();
    Reinstall reinstallWithoutWaiting(const QCborMap &request);
    void handleMessage(const QCborMap &message);
    void sendVerdict(const QCborMap &event, EventTapVerdict verdict);
    void handleDisconnect();
    void dockArrived();

    QCborMap m_registration;
    bool m_listenOnly;
    bool m_enabled = true;
    bool m_installing = false;
    bool m_held = false;
    bool m_refused = false;
    bool m_withdrawn = false;
    // A Dock began to listen while the tap was asked of one: if that ask finds no Dock (it went to
    // the one that ended), the new one is asked at once rather than at the next retry.
    bool m_askAgainOnFailure = false;
    EventTapCallback m_callback;
    DockSocketLink m_link;
    // The taps belong to the window server, which outlives a Dock restart; here they live in the
    // stand-in, so a tap installs itself again in the Dock that comes back.
    QTimer m_reinstallTimer;
};
