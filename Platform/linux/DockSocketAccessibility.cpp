#include "Platform/linux/DockSocketAccessibility.h"

#include "Platform/dockstandin/wire/TrustStore.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(observerLog, "com.kestrowan.app.dock")

constexpr int answerTimeout = 3000;

QCborMap elementRequest(const QString &op, const AXUIElement &element)
{
    return QCborMap{{QStringLiteral("op"), op},
                    {QStringLiteral("pid"), element.processIdentifier},
                    {QStringLiteral("el"), qint64(element.elementIdentifier)}};
}

} // namespace

bool DockSocketAccessibility::isProcessTrusted()
{
    return TrustStore::isTrusted(TrustStore::executableOfThisProcess());
}

bool DockSocketAccessibility::isProcessTrustedWithPrompt()
{
    if (isProcessTrusted())
        return true;
    m_channel.send(QCborMap{{QStringLiteral("op"), DockWire::Op::prompt}, {QStringLiteral("seq"), 0}});
    return false;
}

DockTreeMirror *DockSocketAccessibility::mirror()
{
    // The copy serves the event loop's thread, which must not wait; other threads may ask the Dock.
    if (!isEventLoopThread())
        return nullptr;
    if (!m_mirror)
        m_mirror = std::make_unique<DockTreeMirror>();
    return m_mirror.get();
}

std::optional<AXError> DockSocketAccessibility::answerWithoutCopy(const AXUIElement &element)
{
    if (!isEventLoopThread())
        return std::nullopt;
    // What the Dock would answer, where that is known without it; otherwise the copy is on its way
    // (or the Dock does not answer) and the read cannot be completed now.
    if (!isProcessTrusted())
        return AXError::APIDisabled;
    const std::optional<qint64> dock = m_mirror ? m_mirror->processIdentifier() : std::nullopt;
    if (dock && element.processIdentifier != *dock)
        return AXError::InvalidUIElement;
    return AXError::CannotComplete;
}

std::optional<qint64> DockSocketAccessibility::dockProcessIdentifier()
{
    if (DockTreeMirror *copy = mirror())
        return copy->processIdentifier();
    return dockProcessIdentifierOf(m_channel.call(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier}}));
}

void DockSocketAccessibility::watchDockProcess(QObject *receiver, std::function<void()> changed)
{
    DockTreeMirror *copy = mirror();
    if (!copy || !receiver || !changed)
        return;
    // Queued: the copy tells of the change from inside its own handling of the Dock's answer.
    QObject::connect(copy, &DockTreeMirror::processChanged, receiver, std::move(changed), Qt::QueuedConnection);
    // The copy of the Dock running now is asked for at once.
    copy->processIdentifier();
}

std::optional<quint64> DockSocketAccessibility::treeRevision(qint64 processIdentifier)
{
    DockTreeMirror *copy = mirror();
    if (!copy || copy->processIdentifier() != processIdentifier)
        return std::nullopt;
    return copy->revision();
}

AXError DockSocketAccessibility::copyAttributeValue(const AXUIElement &element, const QString &attribute, QVariant *value)
{
    if (DockTreeMirror *copy = mirror()) {
        if (const std::optional<AXError> answered = copy->attribute(element, attribute, value))
            return *answered;
    }
    if (const std::optional<AXError> answered = answerWithoutCopy(element))
        return *answered;
    QCborMap request = elementRequest(DockWire::Op::attribute, element);
    request.insert(QStringLiteral("name"), attribute);
    const std::optional<QCborMap> answer = m_channel.call(request);
    const AXError error = dockAnswerError(answer);
    if (error != AXError::Success)
        return error;
    const QVariant decoded = DockWire::decodeValue(answer->value(QStringLiteral("value")));
    if (!decoded.isValid())
        return AXError::Failure;
    if (value)
        *value = decoded;
    return AXError::Success;
}

AXError DockSocketAccessibility::copyElementAtPosition(const AXUIElement &application, const QPointF &point, AXUIElement *element)
{
    if (DockTreeMirror *copy = mirror()) {
        if (const std::optional<AXError> answered = copy->elementAtPosition(application, point, element))
            return *answered;
    }
    if (const std::optional<AXError> answered = answerWithoutCopy(application))
        return *answered;
    QCborMap request = elementRequest(DockWire::Op::elementAtPosition, application);
    request.insert(QStringLiteral("x"), point.x());
    request.insert(QStringLiteral("y"), point.y());
    const std::optional<QCborMap> answer = m_channel.call(request);
    const AXError error = dockAnswerError(answer);
    if (error != AXError::Success)
        return error;
    const QVariant decoded = DockWire::decodeValue(answer->value(QStringLiteral("value")));
    if (decoded.typeId() != qMetaTypeId<AXUIElement>())
        return AXError::Failure;
    if (element)
        *element = decoded.value<AXUIElement>();
    return AXError::Success;
}

std::unique_ptr<AXObserver> DockSocketAccessibility::createObserver(qint64 processIdentifier)
{
    // Only the Dock that the copy knows is observed from the event loop's thread; with no copy yet
    // the owner tries again later, as after any other failure.
    if (DockTreeMirror *copy = mirror(); copy && copy->processIdentifier() != processIdentifier)
        return nullptr;
    auto observer = std::make_unique<DockSocketAXObserver>(processIdentifier);
    if (!observer->attach())
        return nullptr;
    return observer;
}

DockSocketAXObserver::DockSocketAXObserver(qint64 processIdentifier)
    : m_processIdentifier(processIdentifier)
{
    connect(&m_link, &DockSocketLink::messageReceived, this, &DockSocketAXObserver::handleMessage);
}

bool DockSocketAXObserver::attach()
{
    if (m_processIdentifier <= 0)
        return false;
    const QCborMap request{{QStringLiteral("op"), DockWire::Op::processIdentifier}};
    if (!isEventLoopThread())
        return dockProcessIdentifierOf(m_link.call(request)) == m_processIdentifier;
    // Registrations go out at once and are confirmed later: a Dock that turns out to be another
    // process, or that refuses, leaves the observer without notifications (the owner polls too).
    m_link.ask(request, answerTimeout, [this](const std::optional<QCborMap> &answer) {
        if (answer && dockProcessIdentifierOf(answer) != m_processIdentifier)
            m_link.close();
    });
    return m_link.isOpen();
}

AXError DockSocketAXObserver::addNotification(const AXUIElement &element, const QString &notification)
{
    return request(DockWire::Op::observe, element, notification);
}

AXError DockSocketAXObserver::removeNotification(const AXUIElement &element, const QString &notification)
{
    return request(DockWire::Op::unobserve, element, notification);
}

AXError DockSocketAXObserver::request(const QString &op, const AXUIElement &element, const QString &notification)
{
    // The observer belongs to one process; a Dock that has restarted since is another one, and
    // its connection must not be made again behind the caller's back.
    if (element.processIdentifier != m_processIdentifier)
        return AXError::IllegalArgument;
    QCborMap message = elementRequest(op, element);
    message.insert(QStringLiteral("name"), notification);
    const QPair<quint64, QString> key(element.elementIdentifier, notification);
    if (!isEventLoopThread()) {
        if (!m_link.isConnected())
            return AXError::InvalidUIElementObserver;
        const AXError error = dockAnswerError(m_link.call(message));
        if (error == AXError::Success) {
            const std::lock_guard lock(m_registeredMutex);
            if (op == DockWire::Op::observe)
                m_registered.insert(key);
            else
                m_registered.remove(key);
        }
        return error;
    }
    if (!m_link.isOpen())
        return AXError::InvalidUIElementObserver;
    // Answered here as the Dock answers, which keeps one notification of its list; the Dock's own
    // answer follows and is only logged when it differs.
    if (element.elementIdentifier != DockWire::listElement || notification != QLatin1String("AXSelectedChildrenChanged"))
        return AXError::NotificationUnsupported;
    {
        const std::lock_guard lock(m_registeredMutex);
        if (op == DockWire::Op::observe && m_registered.contains(key))
            return AXError::NotificationAlreadyRegistered;
        if (op == DockWire::Op::unobserve && !m_registered.remove(key))
            return AXError::NotificationNotRegistered;
        if (op == DockWire::Op::observe)
            m_registered.insert(key);
    }
    m_link.ask(message, answerTimeout, [op](const std::optional<QCborMap> &answer) {
        const AXError error = dockAnswerError(answer);
        if (answer && error != AXError::Success)
            qCWarning(observerLog, "The Dock refused %s: %d", qPrintable(op), int(error));
    });
    return AXError::Success;
}

void DockSocketAXObserver::handleMessage(const QCborMap &message)
{
    if (message.value(QStringLiteral("op")).toString() != DockWire::Op::notify)
        return;
    const QCborValue pid = message.value(QStringLiteral("pid"));
    const QCborValue id = message.value(QStringLiteral("el"));
    const QString name = message.value(QStringLiteral("name")).toString();
    if (!pid.isInteger() || !id.isInteger() || id.toInteger() < 0 || name.isEmpty())
        return;
    // The Dock hears of a removal only when the message reaches it: what it sent before then is
    // not for an owner that has already taken the notification out.
    {
        const std::lock_guard lock(m_registeredMutex);
        if (!m_registered.contains(QPair<quint64, QString>(quint64(id.toInteger()), name)))
            return;
    }
    emit notificationReceived(AXUIElement{pid.toInteger(), quint64(id.toInteger())}, name);
}
