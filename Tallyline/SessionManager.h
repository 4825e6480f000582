#pragma once

#include "Tallyline/SerialQueue.h"
#include "Tallyline/SessionStatisticsSource.h"
#include "Tallyline/StoredSession.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QTimer;

// How the application is used over time, so that every signal can carry retention figures: the
// sessions of the last 90 days with their active time, how many older ones were dropped, the local
// calendar days of use and the day of the first session. All of it lives in the client's defaults
// suite and is written on a serial queue of its own.
//
// Threads: sessions begin, tick and follow the application's activation on the main thread; the
// payload builder reads the list from any thread, so the list is guarded.
class SessionManager final : public SessionStatisticsSource
{
public:
    // Loads the stored sessions, drops those older than 90 days and records today. The program uses
    // the one shared instance; tests make their own to play a new launch.
    SessionManager();
    ~SessionManager() override;

    SessionManager(const SessionManager &) = delete;
    SessionManager &operator=(const SessionManager &) = delete;

    // Made on first use and kept for the life of the process.
    static SessionManager &shared();

    void beginSessionStats() override;
    // The duration timer's action: adds the active time since the last update and stores it.
    void updateSessionDuration();
    void handleDidEnterBackgroundNotification();
    void handleWillEnterForegroundNotification();

    qint64 averageSessionSeconds() const override;
    QList<qint64> recentSessionDurations() const override;
    QList<StoredSession> recentSessions() const;
    double currentSessionDuration() const;
    bool isMeasuring() const;

    // The entries of `days` on or after `cutOffDay` (both yyyy-MM-dd).
    static qsizetype countDistinctDaysSince(const QString &cutOffDay, const QStringList &days);
    // The day of `moment` in the user's own calendar (the client's time zone), yyyy-MM-dd.
    static QString localDay(const QDateTime &moment);

    // Waits until every write handed to the suite so far has landed.
    bool waitForPersistence(int msecs);

private:
    void loadIfPossible();
    void recordDistinctDay(const QString &day);
    void persistCurrentSession();
    void startSessionDurationTimer();
    void stopSessionDurationTimer();

    mutable QMutex m_mutex;
    bool m_loaded = false;
    QList<StoredSession> m_recentSessions;
    QDateTime m_currentSessionStartedAt;
    double m_currentSessionDuration = 0;
    std::optional<QDateTime> m_sessionDurationLastUpdatedAt;
    QString m_lastRecordedDay;
    // Main thread only.
    std::unique_ptr<QTimer> m_sessionDurationUpdater;
    int m_activityToken = 0;
    SerialQueue m_persistenceQueue;
};
