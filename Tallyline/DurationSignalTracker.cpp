#include "Tallyline/DurationSignalTracker.h"

#include "Tallyline/ApplicationActivity.h"
#include "Tallyline/DefaultSignalPayload.h"
#include "Tallyline/SignalPlatform.h"

#include <algorithm>
#include <cmath>

namespace {

QDateTime now()
{
    return SignalPlatform::current()->now();
}

} // namespace

DurationSignalTracker::DurationSignalTracker()
{
    m_activityToken = ApplicationActivity::addObserver([this] { handleDidEnterBackgroundNotification(); },
                                                       [this] { handleWillEnterForegroundNotification(); });
}

DurationSignalTracker::~DurationSignalTracker()
{
    ApplicationActivity::removeObserver(m_activityToken);
}

DurationSignalTracker &DurationSignalTracker::shared()
{
    static DurationSignalTracker *const instance = new DurationSignalTracker;
    return *instance;
}

void DurationSignalTracker::startDurationTracking(const QString &name, const QMap<QString, QString> &parameters,
                                                  bool includeBackgroundTime)
{
    const QDateTime startedAt = now();
    QMutexLocker lock(&m_queue);
    m_startedSignals.insert(name, CachedData{startedAt, parameters, includeBackgroundTime});
}

std::optional<DurationSignalTracker::Stopped> DurationSignalTracker::stopDurationTracking(const QString &name)
{
    const QDateTime stoppedAt = now();
    QMutexLocker lock(&m_queue);
    const auto found = m_startedSignals.constFind(name);
    if (found == m_startedSignals.cend())
        return std::nullopt;
    const CachedData data = found.value();
    m_startedSignals.erase(found);
    qint64 msecs = data.startTime.msecsTo(stoppedAt);
    // Stopped while the application is still inactive: that stretch is left out as well.
    if (!data.includeBackgroundTime && m_lastEnteredBackground)
        msecs -= std::max<qint64>(0, inactiveSince(data.startTime).msecsTo(stoppedAt));
    // A clock set back must not give a negative duration either.
    return Stopped{std::max<qint64>(0, msecs) / 1000.0, data.parameters};
}

QDateTime DurationSignalTracker::inactiveSince(const QDateTime &startTime) const
{
    // Only the inactive time after the signal's start is left out: a signal started while the
    // application was inactive counts from the return, not from before its own start.
    return std::max(*m_lastEnteredBackground, startTime);
}

void DurationSignalTracker::handleDidEnterBackgroundNotification()
{
    const QDateTime resignedAt = now();
    QMutexLocker lock(&m_queue);
    m_lastEnteredBackground = resignedAt;
}

void DurationSignalTracker::handleWillEnterForegroundNotification()
{
    const QDateTime returnedAt = now();
    QMutexLocker lock(&m_queue);
    if (!m_lastEnteredBackground)
        return;
    for (auto it = m_startedSignals.begin(); it != m_startedSignals.end(); ++it) {
        if (it->includeBackgroundTime)
            continue;
        const qint64 inactiveMsecs = inactiveSince(it->startTime).msecsTo(returnedAt);
        if (inactiveMsecs > 0)
            it->startTime = it->startTime.addMSecs(inactiveMsecs);
    }
    m_lastEnteredBackground.reset();
}

QString DurationSignalTracker::durationText(double durationInSeconds)
{
    const double milliseconds = std::floor(durationInSeconds * 1000.0) / 1000.0;
    return DefaultSignalPayload::decimalText(milliseconds);
}

QMap<QString, QString> DurationSignalTracker::stopParameters(double durationInSeconds,
                                                             const QMap<QString, QString> &startParameters,
                                                             const QMap<QString, QString> &stopParameters)
{
    QMap<QString, QString> parameters{{QStringLiteral("Tallyline.Signal.durationInSeconds"), durationText(durationInSeconds)}};
    parameters.insert(startParameters);
    parameters.insert(stopParameters);
    return parameters;
}
