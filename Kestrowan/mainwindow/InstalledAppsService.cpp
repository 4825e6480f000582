#include "Kestrowan/mainwindow/InstalledAppsService.h"

#include "Kestrowan/mainwindow/InstalledAppsCache.h"
#include "Kestrowan/shell/Log.h"

#include <QPointer>
#include <QThread>

InstalledAppsService::InstalledAppsService(const QString &cachePath, InstalledAppsRoots roots, QObject *parent)
    : InstalledAppsServiceInterface(parent)
    , m_cachePath(cachePath)
    , m_roots(std::move(roots))
{
}

void InstalledAppsService::setInstalledApps(const QList<AppItem> &apps)
{
    if (apps == m_installedApps)
        return;
    m_installedApps = apps;
    emit installedAppsChanged();
}

void InstalledAppsService::setScanning(bool scanning)
{
    if (scanning == m_isScanning)
        return;
    m_isScanning = scanning;
    emit isScanningChanged();
}

void InstalledAppsService::refreshInstalledApps()
{
    if (m_isScanning)
        return;
    setScanning(true);
    if (m_installedApps.isEmpty()) {
        QString failure;
        if (const auto cached = InstalledAppsCache::load(m_cachePath, &failure))
            setInstalledApps(*cached);
        else if (!failure.isEmpty())
            qCCritical(persistenceLogger, "Failed to load app cache: %s", qUtf8Printable(loggedText(failure)));
    }

    // The result comes back through a queued call on the main thread; the guard is read there only,
    // so a service destroyed meanwhile is never touched.
    QThread *thread = QThread::create([roots = m_roots, guard = QPointer<InstalledAppsService>(this)] {
        QList<AppItem> apps = InstalledAppsScanner::scanApplications(roots);
        // A program that is quitting has no loop left to hand the list to.
        QCoreApplication *application = QCoreApplication::instance();
        if (!application)
            return;
        QMetaObject::invokeMethod(
            application,
            [guard, apps = std::move(apps)] {
                if (guard)
                    guard->finishScan(apps);
            },
            Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_scan = thread;
    thread->start();
}

InstalledAppsService::~InstalledAppsService()
{
    if (m_scan) {
        m_scan->requestInterruption();
        m_scan->wait();
        delete m_scan.data();
    }
}

void InstalledAppsService::finishScan(const QList<AppItem> &apps)
{
    setInstalledApps(apps);
    QString failure;
    if (!InstalledAppsCache::save(m_cachePath, apps, &failure))
        qCCritical(persistenceLogger, "Failed to save app cache: %s", qUtf8Printable(failure));
    setScanning(false);
}

std::unique_ptr<InstalledAppsServiceInterface> makeInstalledAppsService(const QString &cacheURL)
{
    return std::make_unique<InstalledAppsService>(cacheURL, InstalledAppsRoots::standard());
}
