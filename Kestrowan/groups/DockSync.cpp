// The part of GroupManager that carries groups into the Dock.
#include "Kestrowan/groups/GroupManager.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/StableHasher.h"
#include "Kestrowan/groups/FolderIconPainter.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/DiskFlush.h"
#include "Platform/FreedMemory.h"
#include "Platform/UserDefaults.h"
#include "analytics/NVLXAnalytics.h"

#include <QCoreApplication>
#include <QDir>
#include <QPointer>

#include <memory>
#include <utility>

namespace {

void addOptional(StableHasher &hasher, const std::optional<QString> &value)
{
    hasher.addPresence(value.has_value());
    if (value)
        hasher.addString(*value);
}

// A QMap iterates in key order, so the map hashes the same whatever order its entries were made in.
void addMap(StableHasher &hasher, const QMap<QString, QString> &map)
{
    hasher.addInteger(static_cast<quint64>(map.size()));
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        hasher.addString(it.key());
        hasher.addString(it.value());
    }
}

} // namespace

QString GroupManager::dockSyncHash(const AppGroup &group)
{
    StableHasher hasher;
    hasher.addString(group.name);
    hasher.addInteger(static_cast<quint64>(group.apps.size()));
    for (const AppItem &item : group.apps)
        hasher.addString(item.bundleIdentifier);
    hasher.addString(displayStyleRawValue(group.displayStyle));
    hasher.addString(iconStyleRawValue(group.iconStyle));
    addOptional(hasher, group.skinId);
    addOptional(hasher, group.customOpenerPath);
    hasher.addPresence(group.openerRules.has_value());
    if (group.openerRules) {
        addMap(hasher, group.openerRules->byExtension);
        addMap(hasher, group.openerRules->byItem);
        addOptional(hasher, group.openerRules->defaultOpener);
    }
    return hasher.signedDecimal();
}

void GroupManager::recordSyncedHash(const AppGroup &group)
{
    recordSyncedHashes({group});
}

void GroupManager::recordSyncedHashes(const QList<AppGroup> &groups)
{
    UserDefaults &defaults = UserDefaults::standard();
    QMap<QString, QString> hashes = defaults.stringMap(syncedGroupHashesKey);
    for (const AppGroup &group : groups)
        hashes.insert(ModelJson::uuidText(group.id), dockSyncHash(group));
    defaults.setStringMap(syncedGroupHashesKey, hashes);
}

void GroupManager::removeSyncedHash(const AppGroup &group)
{
    UserDefaults &defaults = UserDefaults::standard();
    QMap<QString, QString> hashes = defaults.stringMap(syncedGroupHashesKey);
    hashes.remove(ModelJson::uuidText(group.id));
    defaults.setStringMap(syncedGroupHashesKey, hashes);
}

const QMap<QString, QString> &GroupManager::syncedHashes() const
{
    // Cards ask on every redraw; the record is read again only when it changed, or when the
    // defaults themselves were replaced.
    UserDefaults &defaults = UserDefaults::standard();
    if (m_syncedHashesSource != &defaults) {
        QObject::disconnect(m_syncedHashesConnection);
        m_syncedHashesSource = &defaults;
        m_syncedHashesConnection =
            defaults.observe(syncedGroupHashesKey, const_cast<GroupManager *>(this), [self = const_cast<GroupManager *>(this)] {
                self->m_syncedHashes.reset();
                emit self->dockSyncRecordChanged();
            });
        m_syncedHashes.reset();
    }
    if (!m_syncedHashes)
        m_syncedHashes = defaults.stringMap(syncedGroupHashesKey);
    return *m_syncedHashes;
}

bool GroupManager::isGroupSyncedToDock(const AppGroup &group) const
{
    // The sync records the hash of the copy it works on, so the same copy is compared here.
    const AppGroup synced = resettingRetiredIconStyle(group);
    const std::optional<QUrl> folder = findMirrorFolder(synced);
    if (!folder || !DockService::isFolderInDock(*folder))
        return false;
    // The Dock draws an empty or missing icon (a power cut before its bytes reached the disk) as a
    // plain folder: that is no synced group, whatever the record says. (Folders built with nothing
    // to draw their icons have none to look for.)
    const FileStamp icon = FileStamp::of(QDir::cleanPath(folder->toLocalFile()) + u'/' + MirrorFolders::iconFileName);
    if (FolderIconPainter::installed() && (!icon.exists || icon.size <= 0))
        return false;
    const QMap<QString, QString> &hashes = syncedHashes();
    const auto recorded = hashes.constFind(ModelJson::uuidText(synced.id));
    return recorded != hashes.cend() && *recorded == dockSyncHash(synced);
}

void GroupManager::syncGroupToDock(const AppGroup &group, bool refreshLabel, SkinManager *skinManager,
                                   std::function<void(bool)> completion)
{
    const AppGroup copy = resettingRetiredIconStyle(group);
    QPointer<GroupManager> self(this);
    createMirrorFolder(copy, skinManager, [self, copy, refreshLabel, completion](std::optional<QString> error) {
        // A renamed group's old tile may have gone without its restart, left for the write below.
        const auto finish = [&completion](bool synced) { DockService::settleOwedRestart(synced, completion); };
        if (!self)
            return finish(false);
        if (error) {
            qCCritical(persistenceLogger, "Failed to sync group '%s' to dock: %s", qUtf8Printable(loggedText(copy.name)),
                       qUtf8Printable(*error));
            return finish(false);
        }
        // The folder's files went out without a sync each: they reach the disk before the Dock item
        // and the record that vouch for them.
        DiskFlush::shared().flush(self->groupsDirectory(), [self, copy, refreshLabel, completion](std::optional<QString> failure) {
            if (!self || failure) {
                if (failure)
                    qCCritical(persistenceLogger, "Failed to sync group '%s' to dock: its folder did not reach the disk: %s",
                               qUtf8Printable(loggedText(copy.name)), qUtf8Printable(*failure));
                DockService::settleOwedRestart(false, completion);
                return;
            }
            const QUrl folder = self->m_mirrorFolders.mirrorFolderURL(copy);
            DockService::upsertFolderTile(folder, copy.name, copy.displayStyle, refreshLabel,
                                          [self, copy, completion](bool written) {
                if (written && self) {
                    self->recordSyncedHash(copy);
                    // The Dock takes changes again: tiles that deleted groups left behind go now.
                    self->removeOrphanedGroupFolders();
                    NVLXAnalytics::signal(QStringLiteral("dock.synced"),
                                          {{QStringLiteral("app_count"), QString::number(copy.apps.size())}});
                }
                if (completion)
                    completion(written);
            });
        });
    });
}

namespace {

void nextTurn(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

// One batch sync in flight: the snapshot it works through, one folder after another (a renamed
// group's folder waits for its old tile's removal), then every tile in one write.
class BatchSync : public std::enable_shared_from_this<BatchSync> {
public:
    BatchSync(GroupManager *manager, QList<AppGroup> groups, SkinManager *skinManager,
              std::function<void(bool)> completion, std::function<void(int, int)> progress)
        : m_manager(manager)
        , m_pending(std::move(groups))
        , m_skins(FolderIconPainter::keepWithInstalled(skinManager))
        , m_completion(std::move(completion))
        , m_progress(std::move(progress))
        , m_total(int(m_pending.size()))
    {
    }

    void prepareNext()
    {
        if (!m_manager)
            return finish(false);
        if (m_pending.isEmpty())
            return writeTiles();
        const AppGroup group = m_pending.takeFirst();
        m_askedAhead = std::max(0, m_askedAhead - 1);
        askAhead();
        m_manager->createMirrorFolder(group, m_skins(),
                                      [batch = shared_from_this(), group](std::optional<QString> error) {
            batch->prepared(group, error);
            // One folder per turn of the event loop, so the window is drawn (and its progress
            // shown) between them.
            if (batch->m_progress)
                batch->m_progress(batch->m_total - int(batch->m_pending.size()), batch->m_total);
            batch->prepareNext();
        }, m_icons);
    }

private:
    // How many folders ahead their pictures are asked for, how few are left asked for when the
    // next ones are, and how many are asked for in one turn of the event loop.
    static constexpr int kAskedAhead = 40;
    static constexpr int kAskedAgainAt = 8;
    static constexpr int kAskedPerTurn = 8;

    // The pictures the next folders' icons are drawn from are decoded out of the program while this
    // folder is written: asked for a window ahead and many at once, so that the helper decodes them
    // dozens to a process rather than a process for each folder, and no more of them are kept than
    // that window. Finding a folder's picture files reads its applications' entries and looks
    // through the icon themes, so the window is filled a slice a turn (one folder is written a
    // turn) rather than all of it in the turn that starts the sync.
    void askAhead()
    {
        if (m_askedAhead <= kAskedAgainAt)
            m_filling = true;
        if (!m_filling)
            return;
        FolderIconPainter *painter = FolderIconPainter::installed();
        const int wanted = std::min<int>(kAskedAhead, int(m_pending.size()));
        for (int slice = 0; slice < kAskedPerTurn && m_askedAhead < wanted; ++slice) {
            const AppGroup &group = m_pending.at(m_askedAhead++);
            if (painter)
                painter->askForPictures(group, m_skins());
        }
        m_filling = m_askedAhead < wanted;
    }

    void prepared(const AppGroup &group, const std::optional<QString> &error)
    {
        if (!m_manager)
            return;
        if (error) {
            qCCritical(persistenceLogger, "Failed to prepare group '%s' for dock: %s", qUtf8Printable(loggedText(group.name)),
                       qUtf8Printable(*error));
            m_allPrepared = false;
            return;
        }
        m_prepared.append(group);
        m_entries.append({m_manager->mirrorFolders().mirrorFolderURL(group), group.name, group.displayStyle});
    }

    void writeTiles()
    {
        // The tiles are written once every folder is written with its icon, so the Dock shows
        // them, and once every file of the batch is on the disk, so no power cut leaves a tile or
        // a record without its folder.
        if (m_entries.isEmpty() || !m_manager)
            return finish(false);
        DiskFlush::shared().flush(m_manager->groupsDirectory(), [batch = shared_from_this()](std::optional<QString> failure) {
            if (failure) {
                qCCritical(persistenceLogger, "Failed to sync groups to dock: their folders did not reach the disk: %s",
                           qUtf8Printable(*failure));
                return batch->finish(false);
            }
            batch->writeTilesNow();
        });
    }

    void writeTilesNow()
    {
        if (m_entries.isEmpty() || !m_manager)
            return finish(false);
        DockService::upsertFolderTiles(m_entries, [batch = shared_from_this()](bool written) {
            if (!written || !batch->m_manager)
                return batch->finish(written && batch->m_allPrepared);
            // Only groups whose folder was built and whose tile was written count as synced.
            batch->m_manager->recordSyncedHashes(batch->m_prepared);
            // The Dock that has just come back is taken in on this turn of the event loop; the
            // look through every folder for orphans (a slice of folders a turn), and the window's
            // redraw of every card that follows the end of the sync, each get turns of their own, so
            // that with a thousand groups the window is not held for the three together.
            nextTurn([batch] {
                if (!batch->m_manager)
                    return batch->finish(batch->m_allPrepared);
                NVLXAnalytics::signal(QStringLiteral("dock.batch_synced"),
                                      {{QStringLiteral("group_count"), QString::number(batch->m_entries.size())}});
                batch->m_manager->removeOrphanedGroupFoldersInSlices([batch] {
                    nextTurn([batch] { batch->finish(batch->m_allPrepared); });
                });
            });
        });
    }

    void finish(bool synced)
    {
        // The icons of the batch are written: what composing and encoding them freed goes back.
        FreedMemory::returnAll();
        // A batch that ends before its write still restarts the Dock for the old tiles of renamed
        // groups that it took out.
        DockService::settleOwedRestart(synced, std::exchange(m_completion, nullptr));
    }

    QPointer<GroupManager> m_manager;
    QList<AppGroup> m_pending;
    QList<AppGroup> m_prepared;
    QList<DockService::FolderTileEntry> m_entries;
    std::function<SkinManager *()> m_skins;
    std::function<void(bool)> m_completion;
    std::function<void(int, int)> m_progress;
    std::shared_ptr<IconWriteQueue> m_icons = std::make_shared<IconWriteQueue>();
    int m_total = 0;
    // Of the folders still to write, how many from the first have had their pictures asked for.
    int m_askedAhead = 0;
    // Whether the window of folders asked for ahead is being filled, a slice a turn.
    bool m_filling = false;
    bool m_allPrepared = true;
};

} // namespace

void GroupManager::syncAllGroupsToDock(SkinManager *skinManager, std::function<void()> completion)
{
    syncAllGroupsToDockWithResult(skinManager, [completion = std::move(completion)](bool) {
        if (completion)
            completion();
    });
}

void GroupManager::syncAllGroupsToDockWithResult(SkinManager *skinManager, std::function<void(bool)> completion,
                                                 std::function<void(int, int)> progress)
{
    QList<AppGroup> groups;
    for (const AppGroup &group : std::as_const(m_groups)) {
        if (!group.apps.isEmpty())
            groups.append(resettingRetiredIconStyle(group));
    }
    if (groups.isEmpty()) {
        return postCompletion([completion = std::move(completion)] {
            if (completion)
                completion(true);
        });
    }
    std::make_shared<BatchSync>(this, std::move(groups), skinManager, std::move(completion), std::move(progress))->prepareNext();
}
