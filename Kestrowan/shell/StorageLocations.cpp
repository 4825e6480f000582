#include "Kestrowan/shell/StorageLocations.h"

#include "Kestrowan/shell/Log.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString appendDirectory(const QString &base, const QString &component)
{
    return QDir::cleanPath(base + QLatin1Char('/') + component);
}

} // namespace

QString resolveAppSupportDirectory(const QStringList &applicationSupportCandidates)
{
    QString base;
    for (const QString &candidate : applicationSupportCandidates) {
        if (!candidate.isEmpty()) {
            base = candidate;
            break;
        }
    }
    if (base.isEmpty()) {
        qCCritical(persistenceLogger, "Application Support unavailable, falling back to tmp");
        base = QDir::tempPath();
    }
    return appendDirectory(base, QStringLiteral("Kestrowan"));
}

QString appSupportDirectoryURL()
{
    // Function-local statics are initialised exactly once, even under concurrent first use.
    static const QString url = resolveAppSupportDirectory(QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).mid(0, 1));
    return url;
}

QString groupsDirectoryURL()
{
    static const QString url = appendDirectory(appSupportDirectoryURL(), QStringLiteral("Groups"));
    return url;
}

QString skinsDirectoryURL()
{
    static const QString url = appendDirectory(appSupportDirectoryURL(), QStringLiteral("Skins"));
    return url;
}

QString cachesDirectoryURL()
{
    static const QString url = [] {
        const QString caches = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        return caches.isEmpty() ? QDir::tempPath() : QDir::cleanPath(caches);
    }();
    return url;
}
