#include "Kestrowan/dock/ShortcutStateStore.h"

#include "Platform/RunningApplications.h"
#include "Platform/WorkspaceNotifications.h"

#include <QDir>
#include <QPointer>

namespace {

QString lowerStandardizedPath(const QString &path)
{
    return QDir::cleanPath(path).toLower();
}

} // namespace

ShortcutStateStore::ShortcutStateStore(QObject *parent)
    : ShortcutStateStoreInterface(parent)
{
    refreshRunningApps();
    installWorkspaceObservers();
    m_cleanupTimer.setInterval(cleanupIntervalMilliseconds);
    connect(&m_cleanupTimer, &QTimer::timeout, this, &ShortcutStateStore::pruneRecentItems);
    m_cleanupTimer.start();
}

void ShortcutStateStore::installWorkspaceObservers()
{
    // Every notification leads to one refresh, on a later turn of the event loop.
    connect(&WorkspaceNotifications::shared(), &WorkspaceNotifications::applicationNotification, this,
            &ShortcutStateStore::refreshRunningApps, Qt::QueuedConnection);
}

QString ShortcutStateStore::itemKey(const AppItem &item)
{
    const QUrl url = item.itemURL();
    if (url.isLocalFile())
        return QDir::cleanPath(url.toLocalFile());
    return url.toString(QUrl::FullyEncoded);
}

void ShortcutStateStore::refreshRunningApps()
{
    QSet<QString> bundleIDs;
    QSet<QString> paths;
    for (const RunningApplication &application : RunningApplications::shared().runningApplications()) {
        if (!application.bundleIdentifier.isEmpty())
            bundleIDs.insert(application.bundleIdentifier);
        if (!application.bundlePath.isEmpty())
            paths.insert(lowerStandardizedPath(application.bundlePath));
    }
    if (bundleIDs == m_runningBundleIDs && paths == m_runningAppPaths)
        return;
    m_runningBundleIDs = bundleIDs;
    m_runningAppPaths = paths;
    emit runningAppsChanged();
}

QHash<QString, QDateTime> ShortcutStateStore::withinWindow(const QDateTime &now) const
{
    QHash<QString, QDateTime> kept;
    for (auto it = m_recentOpenedAt.cbegin(); it != m_recentOpenedAt.cend(); ++it) {
        if (it.value().msecsTo(now) < qint64(recencyWindow * 1000))
            kept.insert(it.key(), it.value());
    }
    return kept;
}

void ShortcutStateStore::setRecentOpenedAt(const QHash<QString, QDateTime> &recent)
{
    if (recent == m_recentOpenedAt)
        return;
    m_recentOpenedAt = recent;
    emit recentOpenedAtChanged();
}

void ShortcutStateStore::pruneRecentItems()
{
    setRecentOpenedAt(withinWindow(m_clock()));
}

void ShortcutStateStore::markOpened(const AppItem &item)
{
    m_recentOpenedAt.insert(itemKey(item), m_clock());
    emit recentOpenedAtChanged();
    pruneRecentItems();
    if (!item.isApplication())
        return;
    // A just-launched application shows as running without waiting for the workspace to say so.
    const QPointer<ShortcutStateStore> self(this);
    QTimer::singleShot(launchRefreshDelayMilliseconds, this, [self] {
        if (self)
            self->refreshRunningApps();
    });
}

bool ShortcutStateStore::isItemActive(const AppItem &item) const
{
    // Told by the path alone: the popup asks for every item as it shows.
    if (item.isApplication()) {
        if (m_runningBundleIDs.contains(item.bundleIdentifier))
            return true;
        const QUrl url = item.itemURL();
        if (url.isLocalFile() && m_runningAppPaths.contains(lowerStandardizedPath(url.toLocalFile())))
            return true;
    }
    const auto found = m_recentOpenedAt.constFind(itemKey(item));
    return found != m_recentOpenedAt.cend() && found.value().msecsTo(m_clock()) < qint64(recencyWindow * 1000);
}

std::unique_ptr<ShortcutStateStoreInterface> makeShortcutStateStore()
{
    return std::make_unique<ShortcutStateStore>();
}
