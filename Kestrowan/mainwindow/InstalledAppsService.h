#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/mainwindow/InstalledAppsScanner.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"

#include <QList>
#include <QPointer>
#include <QThread>
#include <QObject>
#include <QString>

// The applications installed on this machine, for the installed-applications picker. The list is
// scanned away from the main thread and kept in "installed_apps_cache.json" beside the groups file,
// so that a new run shows the last list at once while it scans again.
//
// Both observed values change only on the main thread and notify only on a real change.
class InstalledAppsService final : public InstalledAppsServiceInterface {
    Q_OBJECT
public:
    static inline const QString cacheFileName = QStringLiteral("installed_apps_cache.json");

    InstalledAppsService(const QString &cachePath, InstalledAppsRoots roots, QObject *parent = nullptr);
    // A scan under way is stopped and its thread joined: no thread outlives the service.
    ~InstalledAppsService() override;

    QList<AppItem> installedApps() const override { return m_installedApps; }
    bool isScanning() const override { return m_isScanning; }
    QString cacheURL() const override { return m_cachePath; }

    // Starts a scan unless one is running (then it does nothing: a refresh is never queued). The
    // first refresh with an empty list publishes the cached list before it returns.
    void refreshInstalledApps() override;

private:
    void setInstalledApps(const QList<AppItem> &apps);
    void setScanning(bool scanning);
    void finishScan(const QList<AppItem> &apps);

    QList<AppItem> m_installedApps;
    bool m_isScanning = false;
    QString m_cachePath;
    InstalledAppsRoots m_roots;
    QPointer<QThread> m_scan;
};
