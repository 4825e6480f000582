#include "Platform/linux/QtNetworkReachability.h"

#include <QNetworkInformation>

namespace {

bool reachable(QNetworkInformation::Reachability reachability)
{
    // Unknown means the backend cannot tell; only a network known to be gone holds requests back.
    return reachability != QNetworkInformation::Reachability::Disconnected;
}

} // namespace

bool QtNetworkReachability::isOnline()
{
    if (!m_loaded) {
        m_loaded = true;
        if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
            connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
                    [this](QNetworkInformation::Reachability reachability) { emit onlineChanged(reachable(reachability)); });
        }
    }
    const QNetworkInformation *information = QNetworkInformation::instance();
    return !information || reachable(information->reachability());
}
