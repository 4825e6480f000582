#include "Kestrowan/mainwindow/MainWindowActions.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/ItemFactory.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"
#include "analytics/NVLXAnalytics.h"

#include <cerrno>

MainWindowActions::MainWindowActions(GroupManager &store, SkinManager *skinManager, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_skinManager(skinManager)
    , m_keeper(new DroppedItemKeeper(DroppedItemKeeper::defaultFolder(), this))
{
    connect(m_keeper, &DroppedItemKeeper::notice, this, &MainWindowActions::notice);
}

std::optional<AppGroup> MainWindowActions::group(const QUuid &groupID) const
{
    for (const AppGroup &group : m_store.groups()) {
        if (group.id == groupID)
            return group;
    }
    return std::nullopt;
}

bool MainWindowActions::addURLToGroup(const QUrl &url, const QUuid &groupID)
{
    if (!group(groupID))
        return false;
    const ResolvedShortcut resolved = resolveAddedURL(url);
    std::optional<AppItem> item;
    if (resolved.url.isLocalFile())
        item = makeFileItem(resolved.url, resolved.preferredName);
    else
        item = makeWebItem(resolved.url, resolved.preferredName);
    if (!item)
        return false;
    // Read afresh: resolving may have taken a while, and the previous URL of the same batch may
    // have added this very item.
    std::optional<AppGroup> target = group(groupID);
    if (!target)
        return false;
    const bool duplicate = std::any_of(target->apps.cbegin(), target->apps.cend(), [&](const AppItem &existing) {
        return existing.bundleIdentifier == item->bundleIdentifier || existing.path == item->path;
    });
    if (duplicate)
        return false;
    target->apps.append(*item);
    m_store.updateGroup(*target);
    return true;
}

int MainWindowActions::addURLsToGroup(const QList<QUrl> &urls, const QUuid &groupID)
{
    int added = 0;
    const QStringList temporaryFolders = DroppedItemKeeper::systemTemporaryFolders();
    for (const QUrl &url : urls) {
        const QString target = url.isLocalFile() ? resolveAddedURL(url).url.toLocalFile() : QString();
        if (!target.isEmpty() && DroppedItemKeeper::isTemporaryPath(target, temporaryFolders)) {
            // Chosen from a temporary folder: the group gets a copy the system will not delete.
            m_keeper->keep(target, [this, groupID](const QString &kept) { addURLToGroup(QUrl::fromLocalFile(kept), groupID); });
            continue;
        }
        added += addURLToGroup(url, groupID) ? 1 : 0;
    }
    return added;
}

bool MainWindowActions::replaceGroupApps(const QUuid &groupID, const QList<AppItem> &apps)
{
    std::optional<AppGroup> target = group(groupID);
    if (!target)
        return false;
    if (target->apps != apps) {
        target->apps = apps;
        m_store.updateGroup(*target);
    }
    return true;
}

void MainWindowActions::deleteGroup(const QUuid &groupID)
{
    if (const std::optional<AppGroup> target = group(groupID))
        m_store.deleteGroup(*target, false);
}

void MainWindowActions::syncAll()
{
    QPointer<MainWindowActions> self(this);
    ++m_runningSyncs;
    const auto progress = [self](int done, int total) {
        if (self)
            emit self->syncAllProgress(done, total);
    };
    m_store.syncAllGroupsToDockWithResult(m_skinManager.data(), [self](bool synced) {
        if (!self)
            return;
        --self->m_runningSyncs;
        if (!synced) {
            const bool blocked = DockService::syncBlocked();
            const int error = DockService::lastWriteError();
            const bool noRoom = error == ENOSPC || error == EDQUOT || error == EFBIG;
            qCCritical(dockLogger, "Sync of all groups failed%s",
                       blocked ? " (Dock writes are blocked)" : noRoom ? " (no room on the disk for the Dock's items)" : "");
            emit self->syncAllFinished(false, localized(blocked  ? QStringLiteral("main.syncAllBlocked")
                                                        : noRoom ? QStringLiteral("main.syncAllNoRoom")
                                                                 : QStringLiteral("main.syncAllFailed")));
            return;
        }
        qCInfo(dockLogger, "Synced all groups to the Dock");
        NVLXAnalytics::signal(QStringLiteral("dock.synced_all"),
                              {{QStringLiteral("group_count"), QString::number(self->m_store.groups().size())}});
        emit self->syncAllFinished(true, QString());
    }, progress);
}
