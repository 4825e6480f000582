#include "Tallyline/SessionStatisticsSource.h"

#include "Tallyline/SessionManager.h"

#include <QMutex>

namespace {

QMutex providerMutex;
SessionStatisticsSource::Provider installedProvider;

} // namespace

void SessionStatisticsSource::installProvider(Provider provider)
{
    QMutexLocker lock(&providerMutex);
    installedProvider = std::move(provider);
}

SessionStatisticsSource *SessionStatisticsSource::shared()
{
    Provider provider;
    {
        QMutexLocker lock(&providerMutex);
        provider = installedProvider;
    }
    return provider ? provider() : &SessionManager::shared();
}
