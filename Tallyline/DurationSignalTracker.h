#pragma once

#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QString>

#include <optional>

// The running duration signals: a caller starts one under a name and later cancels it or stops it,
// which sends the time it ran. Time in which the application is not active is left out unless the
// caller asked for it. Held in memory only; a signal still running when the process ends is lost.
class DurationSignalTracker final
{
public:
    struct CachedData
    {
        QDateTime startTime;
        QMap<QString, QString> parameters;
        bool includeBackgroundTime = false;
    };
    struct Stopped
    {
        double durationInSeconds = 0;
        QMap<QString, QString> parameters;
    };

    DurationSignalTracker();
    ~DurationSignalTracker();

    DurationSignalTracker(const DurationSignalTracker &) = delete;
    DurationSignalTracker &operator=(const DurationSignalTracker &) = delete;

    // Made on first use and kept for the life of the process.
    static DurationSignalTracker &shared();

    void startDurationTracking(const QString &name, const QMap<QString, QString> &parameters, bool includeBackgroundTime);
    // Removes the signal of that name and gives back how long it ran, never less than zero.
    std::optional<Stopped> stopDurationTracking(const QString &name);

    void handleDidEnterBackgroundNotification();
    void handleWillEnterForegroundNotification();

    // The parameters a stop sends: the duration, then the start's parameters, then the stop's.
    static QMap<QString, QString> stopParameters(double durationInSeconds, const QMap<QString, QString> &startParameters,
                                                 const QMap<QString, QString> &stopParameters);
    // Cut down to whole milliseconds, shortest text with a decimal point ("12.345", "3.0").
    static QString durationText(double durationInSeconds);

private:
    // With the application inactive: when the inactive time of a signal started at `startTime` began.
    QDateTime inactiveSince(const QDateTime &startTime) const;

    QMutex m_queue;
    QMap<QString, CachedData> m_startedSignals;
    std::optional<QDateTime> m_lastEnteredBackground;
    int m_activityToken = 0;
};
