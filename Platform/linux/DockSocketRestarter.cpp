#include "Platform/linux/DockSocketRestarter.h"

#include "Platform/linux/DockSocketLink.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <csignal>

namespace {

Q_LOGGING_CATEGORY(restartLog, "com.kestrowan.app.dock")

// A Dock needs a moment to give back its work area and socket, and a new one to lay out its tiles;
// a sanitizer build on a busy machine is several times slower.
constexpr int restartTimeout = 30000;
constexpr int pollInterval = 100;
// Each look at the socket runs on the main thread: a Dock on its way out (or one still laying out
// two hundred tiles) is given only a moment to answer, and asked again at the next poll. After a
// while of no answer, a slow Dock is waited for longer.
constexpr int quickAnswerTimeout = 25;
constexpr int patientAnswerTimeout = 500;
constexpr int patientAfter = 5000;

// The identifier of the Dock that answers on this session's socket now; nullopt when none does.
std::optional<qint64> answeringDock(int timeoutMilliseconds)
{
    DockSocketLink link;
    if (!link.connectToDock(timeoutMilliseconds))
        return std::nullopt;
    return dockProcessIdentifierOf(
        link.call(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier}}, timeoutMilliseconds));
}

} // namespace

DockSocketRestarter::~DockSocketRestarter()
{
    delete m_poll.data();
}

QTimer *DockSocketRestarter::poller()
{
    if (!m_poll) {
        m_poll = new QTimer(QCoreApplication::instance());
        m_poll->setInterval(pollInterval);
        QObject::connect(m_poll, &QTimer::timeout, m_poll, [this] { poll(); });
    }
    return m_poll;
}

void DockSocketRestarter::restart(Completion completion)
{
    if (m_underWay) {
        m_waiting.append(std::move(completion));
        return;
    }
    m_underWay = true;
    m_running.append(std::move(completion));
    QMetaObject::invokeMethod(poller(), [this] { begin(); }, Qt::QueuedConnection);
}

void DockSocketRestarter::begin()
{
    m_deadline = QDeadlineTimer(restartTimeout);
    const std::optional<qint64> dock = answeringDock(2000);
    m_previous = dock.value_or(0);
    if (!dock) {
        // A Dock that is starting (after a crash or a restart of another program) reads the list anew.
        qCInfo(restartLog, "No Dock answers on %s; waiting for one to start", qPrintable(DockWire::socketPath()));
    } else if (::kill(pid_t(*dock), SIGTERM) != 0) {
        qCInfo(restartLog, "The Dock (process %lld) had already ended", *dock);
    } else {
        qCInfo(restartLog, "Restarting the Dock (process %lld)", *dock);
    }
    poller()->start();
}

void DockSocketRestarter::poll()
{
    const bool patient = m_deadline.remainingTime() < restartTimeout - patientAfter;
    const std::optional<qint64> dock = answeringDock(patient ? patientAnswerTimeout : quickAnswerTimeout);
    if (dock && *dock != m_previous) {
        qCInfo(restartLog, "The Dock is back (process %lld)", *dock);
        finish(true);
        return;
    }
    if (m_deadline.hasExpired()) {
        qCCritical(restartLog, "The Dock did not come back within %d seconds", restartTimeout / 1000);
        finish(false);
    }
}

void DockSocketRestarter::finish(bool restarted)
{
    poller()->stop();
    const QList<Completion> done = std::exchange(m_running, {});
    m_underWay = false;
    if (!m_waiting.isEmpty()) {
        // Asked while the Dock restarted: it may have read the list before their change was written.
        m_underWay = true;
        m_running = std::exchange(m_waiting, {});
        QMetaObject::invokeMethod(poller(), [this] { begin(); }, Qt::QueuedConnection);
    }
    for (const Completion &completion : done) {
        if (completion)
            completion(restarted);
    }
}
