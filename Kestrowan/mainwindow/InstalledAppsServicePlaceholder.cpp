// Stands in until the installed-applications service lands: an empty list, never scanning.
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"

namespace {

class EmptyInstalledAppsService final : public InstalledAppsServiceInterface {
public:
    explicit EmptyInstalledAppsService(const QString &cacheURL)
        : m_cacheURL(cacheURL)
    {
    }
    QList<AppItem> installedApps() const override { return {}; }
    bool isScanning() const override { return false; }
    QString cacheURL() const override { return m_cacheURL; }

private:
    QString m_cacheURL;
};

} // namespace

std::unique_ptr<InstalledAppsServiceInterface> makeInstalledAppsService(const QString &cacheURL)
{
    return std::make_unique<EmptyInstalledAppsService>(cacheURL);
}
