#include "Platform/linux/DockSocketAccessibility.h"

#include "Platform/dockstandin/wire/TrustStore.h"

#include <QThread>

namespace {

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
    if (!m_mirror)
        m_mirror = std::make_unique<DockTreeMirror>();
    return m_mirror->thread() == QThread::currentThread() ? m_mirror.get() : nullptr;
}

std::optional<qint64> DockSocketAccessibility::dockProcessIdentifier()
{
    if (DockTreeMirror *copy = mirror()) {
        if (const std::optional<qint64> pid = copy->processIdentifier())
            return pid;
    }
    return dockProcessIdentifierOf(m_channel.call(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier}}));
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
    return dockProcessIdentifierOf(m_link.call(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier}}))
        == m_processIdentifier;
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
    if (!m_link.isConnected())
        return AXError::InvalidUIElementObserver;
    QCborMap message = elementRequest(op, element);
    message.insert(QStringLiteral("name"), notification);
    return dockAnswerError(m_link.call(message));
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
    emit notificationReceived(AXUIElement{pid.toInteger(), quint64(id.toInteger())}, name);
}
