#include "Tallyline/SignalPlatform.h"

#include "Tallyline/SystemSignalPlatform.h"

#include <QMutex>

namespace {

QMutex platformMutex;
std::shared_ptr<SignalPlatform> installedPlatform;

} // namespace

std::shared_ptr<SignalPlatform> SignalPlatform::current()
{
    QMutexLocker lock(&platformMutex);
    if (!installedPlatform)
        installedPlatform = std::make_shared<SystemSignalPlatform>();
    return installedPlatform;
}

void SignalPlatform::setCurrent(std::shared_ptr<SignalPlatform> platform)
{
    QMutexLocker lock(&platformMutex);
    installedPlatform = std::move(platform);
}
