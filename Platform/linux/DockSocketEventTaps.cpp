#include "Platform/linux/DockSocketEventTaps.h"

#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/DockSocketArrival.h"

#include <QPointer>

#include <utility>

namespace {

constexpr int installTimeout = 3000;

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
    // The Dock refuses a tap to a program without access; the event loop's thread does not wait
    // to hear it.
    if (isEventLoopThread() && !TrustStore::isTrusted(TrustStore::executableOfThisProcess()))
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
    // Only where the Dock's socket cannot be watched: a new Dock is otherwise met the moment it
    // listens.
    m_reinstallTimer.setInterval(1000);
    connect(&m_reinstallTimer, &QTimer::timeout, this, [this] {
        if (reinstall() != Reinstall::Retry)
            m_reinstallTimer.stop();
    });
    if (DockSocketArrival *arrival = DockSocketArrival::shared(); arrival && thread() == arrival->thread())
        connect(arrival, &DockSocketArrival::dockListening, this, &DockSocketEventTap::dockArrived);
}

bool DockSocketEventTap::install()
{
    const Reinstall installed = reinstall();
    // On the event loop's thread a tap waits for a Dock that is not there yet (one restarting), as
    // the window server's taps outlive the Dock: it is installed the moment a Dock listens.
    if (installed == Reinstall::Retry && isEventLoopThread()) {
        if (!m_reinstallTimer.isActive())
            m_reinstallTimer.start();
        return true;
    }
    return installed == Reinstall::Done;
}

void DockSocketEventTap::dockArrived()
{
    if (m_installing)
        m_askAgainOnFailure = true;
    if (m_held || m_refused || m_withdrawn || m_installing)
        return;
    if (reinstall() != Reinstall::Retry)
        m_reinstallTimer.stop();
}

DockSocketEventTap::Reinstall DockSocketEventTap::reinstall()
{
    QCborMap request = m_registration;
    request.insert(QStringLiteral("on"), m_enabled);
    if (isEventLoopThread())
        return reinstallWithoutWaiting(request);
    if (!m_link.connectToDock(250))
        return Reinstall::Retry;
    const std::optional<QCborMap> answer = m_link.call(request);
    if (!answer)
        return Reinstall::Retry;
    if (dockAnswerError(answer) != AXError::Success) {
        m_link.close();
        return Reinstall::GiveUp;
    }
    m_held = true;
    return Reinstall::Done;
}

DockSocketEventTap::Reinstall DockSocketEventTap::reinstallWithoutWaiting(const QCborMap &request)
{
    // One request at a time; its answer decides what comes next.
    if (m_installing)
        return Reinstall::Done;
    m_installing = true;
    m_link.ask(request, installTimeout, [this](const std::optional<QCborMap> &answer) {
        m_installing = false;
        const bool askAgain = std::exchange(m_askAgainOnFailure, false);
        if (!answer) {
            // No Dock, or one that does not answer: asked again, on a new connection; at once when
            // a new Dock began to listen meanwhile.
            m_link.close();
            if (m_withdrawn)
                return;
            if (askAgain && reinstall() != Reinstall::Retry) {
                m_reinstallTimer.stop();
                return;
            }
            if (!m_reinstallTimer.isActive())
                m_reinstallTimer.start();
            return;
        }
        if (dockAnswerError(answer) == AXError::Success) {
            m_held = true;
            return;
        }
        m_refused = true;
        m_reinstallTimer.stop();
        m_link.close();
        m_enabled = false;
        CGEvent disabled;
        disabled.type = CGEventType::TapDisabledByUserInput;
        m_callback(disabled.type, disabled);
    });
    return m_link.isOpen() ? Reinstall::Done : Reinstall::Retry;
}

void DockSocketEventTap::withdraw()
{
    m_withdrawn = true;
    m_reinstallTimer.stop();
    // Said on the connection the tap came by, before it closes: the Dock then waits for no tap of
    // this program in its place. A tap still on its way is taken out as soon as it is in.
    if (!m_link.isOpen())
        return;
    const QCborMap request{{QStringLiteral("op"), DockWire::Op::removeTap}};
    if (isEventLoopThread())
        m_link.post(request);
    else
        m_link.send(request);
    m_held = false;
}

void DockSocketEventTap::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!m_link.isOpen())
        return; // a reinstall carries the state
    const QCborMap request{{QStringLiteral("op"), DockWire::Op::enableTap}, {QStringLiteral("on"), enabled}};
    // Elsewhere this waits until the Dock holds it, as the platform's switch does. The event loop's
    // thread does not wait: an event the Dock sent before it took the change is passed on unseen
    // (see handleMessage), so an event after this call still meets the tap as it now is.
    if (isEventLoopThread())
        m_link.post(request);
    else
        m_link.call(request);
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
    if (!m_enabled) {
        if (!m_listenOnly)
            sendVerdict(message, EventTapVerdict::Pass);
        return;
    }
    // The callback may remove this very tap.
    const QPointer<DockSocketEventTap> self(this);
    const EventTapVerdict verdict = m_callback(event->type, *event);
    if (!self || m_listenOnly)
        return;
    sendVerdict(message, verdict);
}

void DockSocketEventTap::sendVerdict(const QCborMap &event, EventTapVerdict verdict)
{
    const QCborMap message{{QStringLiteral("op"), DockWire::Op::verdict},
                           {QStringLiteral("seq"), 0},
                           {QStringLiteral("event"), event.value(QStringLiteral("id"))},
                           {QStringLiteral("pass"), verdict == EventTapVerdict::Pass}};
    // Only on the connection the event came by; a new one would hold no tap.
    if (!m_link.isConnected())
        return;
    if (isEventLoopThread())
        m_link.post(message);
    else
        m_link.send(message);
}

void DockSocketEventTap::handleDisconnect()
{
    m_held = false;
    if (!m_refused && !m_withdrawn && !m_reinstallTimer.isActive())
        m_reinstallTimer.start();
}
