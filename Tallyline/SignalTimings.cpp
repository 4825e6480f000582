#include "Tallyline/SignalTimings.h"

#include <QMutex>

namespace {

QMutex timingsMutex;
SignalTimings installedTimings;

} // namespace

SignalTimings SignalTimings::current()
{
    QMutexLocker lock(&timingsMutex);
    return installedTimings;
}

void SignalTimings::setCurrent(const SignalTimings &timings)
{
    QMutexLocker lock(&timingsMutex);
    installedTimings = timings;
}
