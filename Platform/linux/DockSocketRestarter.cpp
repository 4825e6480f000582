#include "Platform/linux/DockSocketRestarter.h"

#include "Platform/linux/DockSocketArrival.h"
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
// Questions cost the main thread nothing while they wait: a Dock on its way out (or one still laying
// out a thousand tiles) is given its time, and asked again after it.
constexpr int firstAnswerTimeout = 2000;
constexpr int answerTimeout = 1000;

} // namespace

DockSocketRestarter::~DockSocketRestarter()
{
    delete m_poll.data();
    delete m_probe.data();
}

QTimer *DockSocketRestarter::poller()
{
    if (!m_poll) {
        m_poll = new QTimer(QCoreApplication::instance());
        m_poll->setInterval(pollInterval);
        QObject::connect(m_poll, &QTimer::timeout, m_poll, [this] { poll(); });
        // The new Dock is asked the moment it listens, between two of the poll's looks.
        if (DockSocketArrival *arrival = DockSocketArrival::shared()) {
            QObject::connect(arrival, &DockSocketArrival::dockListening, m_poll, [this] {
                if (m_poll && m_poll->isActive())
                    poll();
            });
        }
    }
    return m_poll;
}

DockSocketLink *DockSocketRestarter::probe()
{
    if (!m_probe)
        m_probe = new DockSocketLink(QCoreApplication::instance());
    return m_probe;
}

void DockSocketRestarter::askForDock(int timeoutMilliseconds, std::function<void(std::optional<qint64>)> answer)
{
    // A new connection each time: the Dock that answered before may be the one that went away.
    DockSocketLink *link = probe();
    link->close();
    const quint64 question = ++m_question;
    m_asking = true;
    link->ask(QCborMap{{QStringLiteral("op"), DockWire::Op::processIdentifier}}, timeoutMilliseconds,
              [this, question, answer = std::move(answer)](const std::optional<QCborMap> &reply) {
                  if (question != m_question)
                      return;
                  m_asking = false;
                  answer(dockProcessIdentifierOf(reply));
              });
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
    askForDock(firstAnswerTimeout, [this](std::optional<qint64> dock) { ended(dock); });
}

void DockSocketRestarter::ended(std::optional<qint64> dock)
{
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
    if (m_deadline.hasExpired()) {
        qCCritical(restartLog, "The Dock did not come back within %d seconds", restartTimeout / 1000);
        finish(false);
        return;
    }
    // One question at a time: a Dock that takes its time to answer is not asked over and over.
    if (m_asking)
        return;
    askForDock(answerTimeout, [this](std::optional<qint64> dock) {
        if (dock && *dock != m_previous && m_underWay) {
            qCInfo(restartLog, "The Dock is back (process %lld)", *dock);
            finish(true);
        }
    });
}

void DockSocketRestarter::finish(bool restarted)
{
    poller()->stop();
    // An answer still on its way belongs to this restart, not to the next one.
    ++m_question;
    m_asking = false;
    probe()->close();
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
