#include "Tallyline/SessionManager.h"

#include "Tallyline/ApplicationActivity.h"
#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalPlatform.h"

#include <QTimer>

#include <algorithm>

namespace {

const QString recentSessionsKey = QStringLiteral("recentSessions");
const QString deletedSessionsCountKey = QStringLiteral("deletedSessionsCount");
const QString firstSessionDateKey = QStringLiteral("firstSessionDate");
const QString distinctDaysUsedKey = QStringLiteral("distinctDaysUsed");

constexpr qint64 keptSessionsSeconds = 90 * 24 * 3600;
constexpr int durationTickMsecs = 1000;

QDateTime now()
{
    return SignalPlatform::current()->now();
}

std::optional<QList<StoredSession>> storedSessions(const DefaultsSuite &suite)
{
    const QVariant stored = suite.value(recentSessionsKey);
    if (stored.typeId() == QMetaType::QByteArray)
        return StoredSession::decode(stored.toByteArray());
    if (stored.typeId() == QMetaType::QString)
        return StoredSession::decode(stored.toString().toUtf8());
    return std::nullopt;
}

} // namespace

SessionManager::SessionManager()
{
    loadIfPossible();
    m_activityToken = ApplicationActivity::addObserver([this] { handleDidEnterBackgroundNotification(); },
                                                       [this] { handleWillEnterForegroundNotification(); });
}

SessionManager::~SessionManager()
{
    ApplicationActivity::removeObserver(m_activityToken);
    m_persistenceQueue.waitForIdle(-1);
}

SessionManager &SessionManager::shared()
{
    // Lives as long as the process: its queue may still be writing while the process winds down.
    static SessionManager *const instance = new SessionManager;
    return *instance;
}

QString SessionManager::localDay(const QDateTime &moment)
{
    return moment.toTimeZone(SignalPlatform::current()->timeZone()).date().toString(Qt::ISODate);
}

void SessionManager::loadIfPossible()
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_loaded)
            return;
    }
    const std::unique_ptr<DefaultsSuite> suite = SignalHub::telemetryDefaultsSuite();
    if (!suite)
        return; // the client is not initialised; the first session tries again
    const QDateTime loadedAt = now();
    {
        QMutexLocker lock(&m_mutex);
        if (m_loaded)
            return;
        m_loaded = true;
    }
    if (const std::optional<QList<StoredSession>> stored = storedSessions(*suite)) {
        const QDateTime cutOff = loadedAt.addSecs(-keptSessionsSeconds);
        QList<StoredSession> kept;
        for (const StoredSession &session : *stored) {
            if (session.startedAt > cutOff)
                kept.append(session);
        }
        const qsizetype dropped = stored->size() - kept.size();
        QList<StoredSession> current;
        {
            QMutexLocker lock(&m_mutex);
            // Sessions measured before the suite could be read are newer than anything stored.
            m_recentSessions = kept + m_recentSessions;
            current = m_recentSessions;
        }
        if (dropped > 0) {
            // The trimmed list goes out with its count: a list written later than the count would
            // let the next launch drop, and count, the same sessions again.
            const qint64 deleted = suite->integer(deletedSessionsCountKey) + dropped;
            const QByteArray encoded = StoredSession::encode(current);
            m_persistenceQueue.async([encoded, deleted] {
                if (const auto target = SignalHub::telemetryDefaultsSuite()) {
                    target->setValue(recentSessionsKey, encoded);
                    target->setValue(deletedSessionsCountKey, deleted);
                }
            });
        }
    }
    recordDistinctDay(localDay(loadedAt));
}

void SessionManager::recordDistinctDay(const QString &day)
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_loaded || day == m_lastRecordedDay)
            return;
        m_lastRecordedDay = day;
    }
    // Read and written on the queue, behind every earlier write of the list.
    m_persistenceQueue.async([day] {
        const auto suite = SignalHub::telemetryDefaultsSuite();
        if (!suite)
            return;
        QStringList days = suite->stringList(distinctDaysUsedKey);
        if (!days.isEmpty() && days.constLast() == day)
            return;
        days.append(day);
        suite->setValue(distinctDaysUsedKey, days);
    });
}

void SessionManager::beginSessionStats()
{
    stopSessionDurationTimer();
    loadIfPossible();

    const QDateTime startedAt = now();
    const QString today = localDay(startedAt);
    bool noRecentSession = false;
    {
        QMutexLocker lock(&m_mutex);
        noRecentSession = m_recentSessions.isEmpty();
    }
    if (noRecentSession) {
        m_persistenceQueue.async([today] {
            if (const auto suite = SignalHub::telemetryDefaultsSuite())
                suite->setValue(firstSessionDateKey, today);
        });
        SignalHub::internalSignal(QStringLiteral("Tallyline.Acquisition.newInstallDetected"),
                                  {{QStringLiteral("Tallyline.Acquisition.firstSessionDate"), today}});
    }
    {
        QMutexLocker lock(&m_mutex);
        m_currentSessionStartedAt = startedAt;
        m_currentSessionDuration = 0;
    }
    updateSessionDuration();
    startSessionDurationTimer();
}

void SessionManager::updateSessionDuration()
{
    const QDateTime reading = now();
    {
        QMutexLocker lock(&m_mutex);
        if (!m_currentSessionStartedAt.isValid())
            return; // no session yet: nothing to measure
        // A clock set back adds nothing rather than taking time away.
        if (m_sessionDurationLastUpdatedAt)
            m_currentSessionDuration += std::max<qint64>(0, m_sessionDurationLastUpdatedAt->msecsTo(reading)) / 1000.0;
        m_sessionDurationLastUpdatedAt = now();
    }
    // A session that runs past midnight is used on the new day too.
    recordDistinctDay(localDay(reading));
    persistCurrentSession();
}

void SessionManager::persistCurrentSession()
{
    QList<StoredSession> snapshot;
    {
        QMutexLocker lock(&m_mutex);
        if (m_currentSessionDuration < 1.0)
            return;
        const qint64 wholeSeconds = qint64(m_currentSessionDuration);
        auto running = std::find_if(m_recentSessions.rbegin(), m_recentSessions.rend(), [this](const StoredSession &s) {
            return s.startedAt == m_currentSessionStartedAt;
        });
        if (running != m_recentSessions.rend())
            running->durationInSeconds = wholeSeconds;
        else
            m_recentSessions.append(StoredSession{m_currentSessionStartedAt, wholeSeconds});
        snapshot = m_recentSessions;
    }
    m_persistenceQueue.async([snapshot] {
        if (const auto suite = SignalHub::telemetryDefaultsSuite())
            suite->setValue(recentSessionsKey, StoredSession::encode(snapshot));
    });
}

void SessionManager::handleDidEnterBackgroundNotification()
{
    updateSessionDuration();
    stopSessionDurationTimer();
}

void SessionManager::handleWillEnterForegroundNotification()
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_currentSessionStartedAt.isValid())
            return;
    }
    updateSessionDuration();
    startSessionDurationTimer();
}

void SessionManager::startSessionDurationTimer()
{
    m_sessionDurationUpdater = std::make_unique<QTimer>();
    m_sessionDurationUpdater->setInterval(durationTickMsecs);
    QObject::connect(m_sessionDurationUpdater.get(), &QTimer::timeout, m_sessionDurationUpdater.get(),
                     [this] { updateSessionDuration(); });
    m_sessionDurationUpdater->start();
}

void SessionManager::stopSessionDurationTimer()
{
    m_sessionDurationUpdater.reset();
    QMutexLocker lock(&m_mutex);
    m_sessionDurationLastUpdatedAt.reset();
}

qint64 SessionManager::averageSessionSeconds() const
{
    QMutexLocker lock(&m_mutex);
    const qsizetype count = m_recentSessions.size();
    if (count == 0)
        return -1;
    if (count == 1)
        return m_recentSessions.constFirst().durationInSeconds;
    qint64 sum = 0;
    for (qsizetype i = 0; i + 1 < count; ++i)
        sum += m_recentSessions.at(i).durationInSeconds;
    return sum / qint64(count - 1);
}

QList<qint64> SessionManager::recentSessionDurations() const
{
    QMutexLocker lock(&m_mutex);
    QList<qint64> durations;
    durations.reserve(m_recentSessions.size());
    for (const StoredSession &session : m_recentSessions)
        durations.append(session.durationInSeconds);
    return durations;
}

QList<StoredSession> SessionManager::recentSessions() const
{
    QMutexLocker lock(&m_mutex);
    return m_recentSessions;
}

double SessionManager::currentSessionDuration() const
{
    QMutexLocker lock(&m_mutex);
    return m_currentSessionDuration;
}

bool SessionManager::isMeasuring() const
{
    return m_sessionDurationUpdater != nullptr;
}

qsizetype SessionManager::countDistinctDaysSince(const QString &cutOffDay, const QStringList &days)
{
    return std::count_if(days.cbegin(), days.cend(), [&cutOffDay](const QString &day) { return !(day < cutOffDay); });
}

bool SessionManager::waitForPersistence(int msecs)
{
    return m_persistenceQueue.waitForIdle(msecs);
}
