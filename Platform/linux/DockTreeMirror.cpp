#include "Platform/linux/DockTreeMirror.h"

#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/DockSocketArrival.h"

#include <QLoggingCategory>
#include <QScopeGuard>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <cmath>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(mirrorLog, "com.kestrowan.app.dock.mirror", QtInfoMsg)

// A Dock that has no copy for this program (no access, or another form of the tree) is asked again
// after a while; one that does not answer at all, later and later up to the longest interval.
constexpr int attemptIntervalMilliseconds = 500;
constexpr int longestIntervalMilliseconds = 8000;
// Waiting costs nothing here: a Dock laying out a thousand tiles on a busy machine gets its time.
constexpr int subscribeTimeoutMilliseconds = 3000;

} // namespace

DockTreeMirror::DockTreeMirror()
    : m_executable(TrustStore::executableOfThisProcess())
{
    connect(&m_link, &DockSocketLink::messageReceived, this, &DockTreeMirror::handleMessage);
    connect(&m_link, &DockSocketLink::disconnected, this, &DockTreeMirror::connectionLost);
    if (DockSocketArrival *arrival = DockSocketArrival::shared(); arrival && thread() == arrival->thread())
        connect(arrival, &DockSocketArrival::dockListening, this, &DockTreeMirror::dockArrived);
}

DockTreeMirror::~DockTreeMirror() = default;

namespace {

quint64 nextRevision()
{
    static std::atomic<quint64> next{1};
    return next.fetch_add(1);
}

} // namespace

std::optional<quint64> DockTreeMirror::revision()
{
    return isCurrent() ? std::optional<quint64>(m_revision) : std::nullopt;
}

void DockTreeMirror::forget()
{
    m_revision = nextRevision();
    if (m_processIdentifier)
        qCDebug(mirrorLog, "Copy of the Dock's tree dropped");
    m_processIdentifier.reset();
    m_tree = DockTree();
}

void DockTreeMirror::connectionLost()
{
    forget();
    announce();
}

void DockTreeMirror::dockArrived()
{
    if (!TrustStore::isTrusted(m_executable))
        return;
    // A connection the Dock that ended left behind is seen closed before a copy is judged held.
    if (isHeld())
        m_link.poll();
    if (isHeld())
        return;
    if (m_asking) {
        // The answer tells; an ask that went to the Dock that ended is made again of this one.
        m_askAgainOnFailure = true;
        return;
    }
    m_retryAfter = 0;
    subscribe();
}

void DockTreeMirror::announce()
{
    if (m_announced == m_processIdentifier)
        return;
    m_announced = m_processIdentifier;
    emit processChanged();
}

bool DockTreeMirror::isCurrent()
{
    if (thread() != QThread::currentThread())
        return false;
    // Access is looked at for every read, as the Dock looks at it for every request: once it is
    // taken away, the Dock's refusals answer.
    if (!TrustStore::isTrusted(m_executable)) {
        if (isHeld() || m_asking) {
            m_link.close();
            forget();
            announce();
        }
        return false;
    }
    // The copy asked for may be waiting in the socket already: a new Dock sends it before it lets
    // the bar's events go to this program's taps, and a tap deciding one reads it first.
    if (isHeld() || m_asking)
        m_link.poll();
    if (!isHeld() && !m_asking && (!m_sinceAttempt.isValid() || m_sinceAttempt.hasExpired(m_retryAfter)))
        subscribe();
    return isHeld();
}

void DockTreeMirror::subscribe()
{
    m_sinceAttempt.start();
    forget();
    m_asking = true;
    m_link.ask(QCborMap{{QStringLiteral("op"), DockWire::Op::mirror}, {QStringLiteral("v"), DockWire::treeVersion}},
               subscribeTimeoutMilliseconds, [this](const std::optional<QCborMap> &answer) { subscribed(answer); });
}

void DockTreeMirror::subscribed(const std::optional<QCborMap> &answer)
{
    m_asking = false;
    if (!answer && !m_link.isConnected() && std::exchange(m_askAgainOnFailure, false)) {
        forget();
        announce();
        subscribe();
        return;
    }
    m_askAgainOnFailure = false;
    // Whatever the answer, those who follow the Dock hear of what it changed once it is taken in.
    const auto announceAfter = qScopeGuard([this] { announce(); });
    if (!answer) {
        // No Dock to connect to costs next to nothing to find out, and a Dock that went away while
        // asked is followed by a new one: both are asked again at the next read. A Dock that holds
        // the connection and says nothing (stopped, or stuck) is left alone for longer each time.
        const bool unanswered = m_link.isConnected();
        m_link.close();
        forget();
        if (unanswered) {
            m_retryAfter = qBound(attemptIntervalMilliseconds, m_retryAfter * 2, longestIntervalMilliseconds);
            qCInfo(mirrorLog, "The Dock did not answer within %d ms; asking again in %d ms", subscribeTimeoutMilliseconds,
                   m_retryAfter);
        } else {
            m_retryAfter = 0;
        }
        return;
    }
    const AXError error = dockAnswerError(answer);
    if (error == AXError::APIDisabled) {
        // No access: the Dock's refusals answer each read until it is granted.
        m_link.close();
        m_retryAfter = attemptIntervalMilliseconds;
        return;
    }
    const QCborValue version = answer->value(QStringLiteral("v"));
    if (version != QCborValue(DockWire::treeVersion)) {
        refuse(QStringLiteral("the Dock keeps its tree in form %1, this program reads form %2")
                   .arg(version.isInteger() ? QString::number(version.toInteger()) : QStringLiteral("?"))
                   .arg(DockWire::treeVersion));
        return;
    }
    const std::optional<qint64> pid = dockProcessIdentifierOf(answer);
    const std::optional<DockTree> layout = DockTree::decodeLayout(answer->value(QStringLiteral("layout")).toMap());
    const std::optional<std::optional<quint64>> selected = DockTree::decodeSelection(answer->value(QStringLiteral("sel")));
    if (!pid || !layout || !selected) {
        refuse(QStringLiteral("the Dock sent an unreadable tree"));
        return;
    }
    m_tree = *layout;
    m_tree.setSelected(*selected);
    m_processIdentifier = pid;
    m_revision = nextRevision();
    m_retryAfter = 0;
    m_refusalLogged = false;
    qCDebug(mirrorLog, "Copy of the Dock's tree made: %lld tiles", qint64(m_tree.tiles().size()));
}

void DockTreeMirror::refuse(const QString &why)
{
    if (!m_refusalLogged)
        qCCritical(mirrorLog, "No copy of the Dock's tree: %s", qPrintable(why));
    m_refusalLogged = true;
    m_link.close();
    forget();
    m_retryAfter = longestIntervalMilliseconds;
    announce();
}

void DockTreeMirror::handleMessage(const QCborMap &message)
{
    if (!m_processIdentifier)
        return;
    const QString op = message.value(QStringLiteral("op")).toString();
    if (op != DockWire::Op::tree && op != DockWire::Op::selected)
        return;
    const QCborValue pid = message.value(QStringLiteral("pid"));
    const std::optional<std::optional<quint64>> selected = DockTree::decodeSelection(message.value(QStringLiteral("sel")));
    std::optional<DockTree> layout;
    if (op == DockWire::Op::tree)
        layout = DockTree::decodeLayout(message.value(QStringLiteral("layout")).toMap());
    if (!pid.isInteger() || pid.toInteger() != *m_processIdentifier || !selected || (op == DockWire::Op::tree && !layout)) {
        refuse(QStringLiteral("the Dock sent an unreadable tree"));
        return;
    }
    if (layout)
        m_tree = *layout;
    m_tree.setSelected(*selected);
    ++m_updates;
    m_revision = nextRevision();
}

std::optional<qint64> DockTreeMirror::processIdentifier()
{
    return isCurrent() ? m_processIdentifier : std::nullopt;
}

std::optional<AXError> DockTreeMirror::attribute(const AXUIElement &element, const QString &name, QVariant *value)
{
    // The list's children and selection begin a read of the tiles: the copy takes in what the Dock
    // has sent before it answers. The tiles' own attributes follow at once and read the same copy.
    const bool beginsRead = element.elementIdentifier < DockWire::firstTileIdentifier;
    if (beginsRead ? !isCurrent() : !isHeld() || thread() != QThread::currentThread())
        return std::nullopt;
    if (element.processIdentifier != *m_processIdentifier)
        return std::nullopt;
    QVariant result;
    const AXError error = m_tree.attribute(element.elementIdentifier, name, &result, *m_processIdentifier);
    if (error != AXError::Success)
        return error;
    // What the socket would not carry, the copy does not give either: a URL that does not stand
    // as one in its strict form (a tile without a path).
    if (result.typeId() == QMetaType::QUrl
        && !QUrl(result.toUrl().toString(QUrl::FullyEncoded), QUrl::StrictMode).isValid())
        return AXError::Failure;
    if (value)
        *value = result;
    return AXError::Success;
}

std::optional<AXError> DockTreeMirror::elementAtPosition(const AXUIElement &application, const QPointF &point,
                                                         AXUIElement *element)
{
    if (!isCurrent() || application.processIdentifier != *m_processIdentifier)
        return std::nullopt;
    if (application.elementIdentifier != DockWire::applicationElement)
        return AXError::InvalidUIElement;
    if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
        return AXError::IllegalArgument;
    const std::optional<quint64> tile = m_tree.tileAt(point);
    if (!tile)
        return AXError::NoValue;
    if (element)
        *element = AXUIElement{*m_processIdentifier, *tile};
    return AXError::Success;
}
