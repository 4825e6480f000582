#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// The installed applications the main window's pickers offer. Created at start-up with an empty
// list, not scanning; nothing is read or scanned at creation.
class InstalledAppsServiceInterface : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QList<AppItem> installedApps() const = 0;
    virtual bool isScanning() const = 0;
    // Where the list is cached between runs.
    virtual QString cacheURL() const = 0;
    // Starts a scan unless one is running; the main view asks whenever it comes on screen.
    virtual void refreshInstalledApps() = 0;

signals:
    void installedAppsChanged();
    void isScanningChanged();
};

// `cacheURL`: the application-support folder's "installed_apps_cache.json".
std::unique_ptr<InstalledAppsServiceInterface> makeInstalledAppsService(const QString &cacheURL);
