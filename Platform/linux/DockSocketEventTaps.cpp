#include "Platform/linux/DockSocketEventTaps.h"

#include <QPointer>

namespace {

bool isTapDisabledNotice(CGEventType type)
{
    return type == CGEventType::TapDisabledByTimeout || type == CGEventType::TapDisabledByUserInput;
}

} // namespace

std::unique_ptr<EventTap> DockSocketEventTaps::createTap(CGEventTapLocation location, CGEventTapPlacement placement,
                                                         CGEventTapOptions options, quint64 eventsOfInterest,
                                                         EventTapCallback callback)
{
    if (!callback)
        return nullptr;
    const bool listenOnly = options == CGEventTapOptions::ListenOnly;
    const QCborMap registration{{QStringLiteral("op"), DockWire::Op::createTap},
                                {QStringLiteral("loc"), DockWire::encodeLocation(location)},
                                {QStringLiteral("head"), placement == CGEventTapPlacement::HeadInsert},
                                {QStringLiteral("listen"), listenOnly},
                                {QStringLiteral("mask"), qint64(eventsOfInterest)}};
    auto tap = std::make_unique<DockSocketEventTap>(registration, listenOnly, std::move(callback));
    if (!tap->install())
        return nullptr;
    return tap;
}

void DockSocketEventTaps::postEvent(CGEventTapLocation location, const CGEvent &event)
{
    m_channel.send(QCborMap{{QStringLiteral("op"), DockWire::Op::post},
                            {QStringLiteral("seq"), 0},
                            {QStringLiteral("loc"), DockWire::encodeLocation(location)},
                            {QStringLiteral("ev"), DockWire::encodeEvent(event)}});
}

DockSocketEventTap::DockSocketEventTap(const QCborMap &registration, bool listenOnly, EventTapCallback callback)
    : m_registration(registration)
    , m_listenOnly(listenOnly)
    , m_callback(std::move(callback))
{
    connect(&m_link, &DockSocketLink::messageReceived, this, &DockSocketEventTap::handleMessage);
    connect(&m_link, &DockSocketLink::disconnected, this, &DockSocketEventTap::handleDisconnect);
    m_reinstallTimer.setInterval(250);
    connect(&m_reinstallTimer, &QTimer::timeout, this, [this] {
        if (reinstall() != Reinstall::Retry)
            m_reinstallTimer.stop();
    });
}

bool DockSocketEventTap::install()
{
    return reinstall() == Reinstall::Done;
}

DockSocketEventTap::Reinstall DockSocketEventTap::reinstall()
{
    if (!m_link.connectToDock(250))
        return Reinstall::Retry;
    QCborMap request = m_registration;
    request.insert(QStringLiteral("on"), m_enabled);
    const std::optional<QCborMap> answer = m_link.call(request);
    if (!answer)
        return Reinstall::Retry;
    if (dockAnswerError(answer) != AXError::Success) {
        m_link.close();
        return Reinstall::GiveUp;
    }
    return Reinstall::Done;
}

void DockSocketEventTap::setEnabled(bool enabled)
{
    m_enabled = enabled;
    // Waits until the Dock holds it, as the platform's switch does: an event that comes after this
    // call must meet the tap as it now is. A Dock that does not answer in time changes nothing here;
    // a reinstall carries the state.
    if (m_link.isConnected())
        m_link.call(QCborMap{{QStringLiteral("op"), DockWire::Op::enableTap}, {QStringLiteral("on"), enabled}});
}

void DockSocketEventTap::handleMessage(const QCborMap &message)
{
    if (message.value(QStringLiteral("op")).toString() != DockWire::Op::event)
        return;
    const std::optional<CGEvent> event = DockWire::decodeEvent(message.value(QStringLiteral("ev")));
    if (!event)
        return;
    if (isTapDisabledNotice(event->type)) {
        m_enabled = false;
        m_callback(event->type, *event);
        return;
    }
    // The callback may remove this very tap.
    const QPointer<DockSocketEventTap> self(this);
    const EventTapVerdict verdict = m_callback(event->type, *event);
    if (!self || m_listenOnly)
        return;
    m_link.send(QCborMap{{QStringLiteral("op"), DockWire::Op::verdict},
                         {QStringLiteral("seq"), 0},
                         {QStringLiteral("event"), message.value(QStringLiteral("id"))},
                         {QStringLiteral("pass"), verdict == EventTapVerdict::Pass}});
}

void DockSocketEventTap::handleDisconnect()
{
    if (!m_reinstallTimer.isActive())
        m_reinstallTimer.start();
}
