#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/GroupsFileWriter.h"
#include "Kestrowan/groups/MirrorFolders.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QFileSystemWatcher;
class SkinManager;
class UserDefaults;

// The one store of all groups: the ordered list every window, the popup and the Dock watchers read,
// kept in "groups.json" in the storage folder, with each group's mirror folder and Dock tile.
//
// Change notification: `groupsAboutToChange` and `groupsChanged` come in pairs. Assigning a list
// equal to the current one notifies nothing; the store's own appends, replacements and removals
// always notify. `loadErrorChanged` comes only when the text really changes.
//
// The asynchronous operations follow the completion pattern of AsyncProcess.h: the main thread never
// waits for a process or a Dock restart.
//
// The program runs once per display, so two of them may share one home folder and one groups file.
// Each watches the file: what the other saves is taken in at once, group by group against the state
// both started from (GroupsMerge), and a save that finds the file changed by the other writes the
// other's change along with its own. A group changed on both sides keeps this side's version, and
// the user is told.
class GroupManager final : public QObject {
    Q_OBJECT
public:
    static inline const QString groupsFileName = QStringLiteral("groups.json");
    static inline const QString syncedGroupHashesKey = QStringLiteral("syncedGroupHashes");

    // Works on appSupportDirectoryURL() and groupsDirectoryURL(), with the running executable as the
    // program that "@Kestrowan" points at.
    explicit GroupManager(QObject *parent = nullptr);
    GroupManager(const QString &storageDirectory, const QString &groupsDirectory, QObject *parent = nullptr);
    // Waits for the last save to reach the file, and saves once more when the last write failed.
    ~GroupManager() override;

    const QList<AppGroup> &groups() const { return m_groups; }
    // Changes stay in memory until an operation of the store saves.
    void setGroups(const QList<AppGroup> &groups);
    std::optional<QString> loadError() const { return m_loadError; }
    // The path of "groups.json".
    QString storageURL() const { return m_storageURL; }
    QString groupsDirectory() const { return m_mirrorFolders.groupsDirectory(); }

    // The program the mirror folders' "@Kestrowan" link points at.
    void setProgramPath(const QString &path) { m_mirrorFolders.setProgramPath(path); }
    const MirrorFolders &mirrorFolders() const { return m_mirrorFolders; }

    // "glass" and "minimal" are no longer drawn; such a group becomes "shelf" without a skin.
    static bool isRetiredIconStyle(AppGroup::IconStyle style);
    static AppGroup resettingRetiredIconStyle(AppGroup group);

    void ensureStorageDirectories();
    void loadGroups();
    // Takes a snapshot of the groups and returns; the file is written in the background, saves in
    // the order they were made. A failed write is logged and keeps the old file whole; `saveFailing`
    // then tells the windows.
    void saveGroups();
    // Returns once every save made so far has reached the file (or failed).
    void waitUntilSaved();
    // Whether the groups in memory are newer than the file because the last write failed; the next
    // change writes them all again. Follows the writes as the event loop learns of them.
    bool saveFailing() const { return m_saveFailing; }
    AppGroup createGroup();
    void updateGroup(const AppGroup &group);
    // Removes the group and, unless `keepDock`, its Dock tile and mirror folder.
    void deleteGroup(const AppGroup &group, bool keepDock, std::function<void()> completion = {});
    // Takes in what another program saved into the groups file since this store last read or wrote
    // it, and saves the merged list where it holds changes of this side. Runs by itself when the
    // file changes; does nothing while the file is as this store left it.
    void takeInOutsideChanges();
    // Deletes every folder in the groups folder whose ".group_id" names no group (what the user put
    // in one stays, and so does the folder then: `foldersKeptForUserFiles`); a folder whose
    // ".group_id" names none at all (missing, empty, damaged) is kept. Does nothing while the
    // groups file could not be loaded: the list is empty then only because it was unreadable. A
    // folder that still has a Dock tile (its removal failed before) loses the tile first and is kept
    // while the tile cannot be removed (`dockTilesLeftBehind`). Runs at start and after each sync.
    void removeOrphanedGroupFolders();
    // The same, a slice of folders a turn of the event loop, then `done` (also when the store goes
    // meanwhile): after a Sync All of a thousand groups, reading every folder's ".group_id" in one turn
    // would hold the window.
    void removeOrphanedGroupFoldersInSlices(std::function<void()> done);

    std::optional<QUrl> findMirrorFolder(const AppGroup &group) const { return m_mirrorFolders.findMirrorFolder(group); }
    QString uniqueMirrorFolderName(const QString &name, const AppGroup &group) const
    {
        return m_mirrorFolders.uniqueMirrorFolderName(name, group);
    }
    void createMirrorFolder(const AppGroup &group, SkinManager *skinManager, MirrorFolders::Completion completion,
                            std::shared_ptr<IconWriteQueue> icons = {}) const
    {
        m_mirrorFolders.createMirrorFolder(group, skinManager, std::move(completion), std::move(icons));
    }
    // Removes what the program made in the group's folder, and the folder once nothing else is in it.
    void removeMirrorFolder(const AppGroup &group);
    // The folders kept since last asked because the user's own files are in them (the program's
    // files went), for a window to tell the user where; each is told once.
    QStringList takeFoldersKeptForUserFiles();
    // A folder of the program's that was to go stays, with the user's files in it: the window tells where.
    void tellFolderKeptForUserFiles(const QString &folderPath);

    // Builds the group's mirror folder and writes its Dock tile; true when both were done (and the
    // Dock restarted where needed). Records the group's hash on success.
    void syncGroupToDock(const AppGroup &group, bool refreshLabel, SkinManager *skinManager,
                         std::function<void(bool)> completion = {});
    // The same for every group that has items, with one write of the tile list and at most one
    // restart for the whole batch.
    void syncAllGroupsToDock(SkinManager *skinManager, std::function<void()> completion = {});
    // The same, telling the caller whether every group with items was placed: false when a folder
    // could not be built or the tile list was not written (a blocked sync included); true when
    // there was nothing to place.
    // `progress`, when given, hears after each folder how many of how many are built.
    void syncAllGroupsToDockWithResult(SkinManager *skinManager, std::function<void(bool synced)> completion,
                                       std::function<void(int done, int total)> progress = {});
    // Whether the group's folder is in the Dock and was synced with exactly this content.
    bool isGroupSyncedToDock(const AppGroup &group) const;
    // A hash of what the Dock shows of a group; the same text in every run for the same content.
    static QString dockSyncHash(const AppGroup &group);
    void recordSyncedHash(const AppGroup &group);
    // The same for every group of a batch, as one change of the record: whoever watches it is told once.
    void recordSyncedHashes(const QList<AppGroup> &groups);
    void removeSyncedHash(const AppGroup &group);

signals:
    void groupsAboutToChange();
    void groupsChanged();
    void loadErrorChanged();
    void saveFailingChanged();
    // A deleted group's tile could not be taken out of the Dock (the sync is blocked, or the Dock
    // refused); its folder is kept and the removal is tried again at the next sync and at start.
    void dockTilesLeftBehind();
    // A group's folder that was to go stays, with the user's files in it: `takeFoldersKeptForUserFiles`.
    void foldersKeptForUserFiles();
    // The record of what was last synced to the Dock changed: views showing a group's sync state
    // ask `isGroupSyncedToDock` again.
    void dockSyncRecordChanged();
    // Groups changed here and, differently, by another program sharing the groups file (or deleted
    // on one side and changed on the other): this side's version was kept. Their names.
    void changedHereAndElsewhere(const QStringList &names);

private:
    // Runs `completion` from the event loop, never inside the call that finished at once.
    static void postCompletion(std::function<void()> completion);
    void setLoadError(const std::optional<QString> &error);
    void setSaveFailing(bool failing);
    template <typename Change>
    void changeGroups(Change change);
    bool backUpUnreadableFile();
    // The name of a copy aside that holds the same bytes as "groups.json", when one exists.
    std::optional<QString> earlierCopyOfUnreadableFile() const;
    void finishDeletion(const AppGroup &group);
    void watchFile();
    void postTakeIn();
    // Brings the other programs' changes that the writer merged into the file onto the screen;
    // the state of the file the writer knows with them.
    std::optional<GroupsFileWriter::KnownFile> applyMergedWrites();
    // After an adoption the writer refused: whether a write under way held it back (the file is
    // then looked at again once the write is told).
    bool heldBackByWrite();
    void tellConflicts(const QList<AppGroup> &conflicts);
    void removeLeftBehindTile(const QString &folderPath);
    // The folder `entry` of the groups folder goes when it is a folder of ours whose ".group_id"
    // names none of the groups in `live`; whether it was taken for an orphan.
    bool removeIfOrphaned(const QString &entry, const QSet<QString> &live);
    // The groups' own ids, which their folders' ".group_id" name.
    QSet<QString> liveGroupIDs() const;
    // Whether the groups folder may be swept now (the groups are known), after taking in what
    // another program saved; its folders then.
    std::optional<QStringList> sweptFolders();
    void removeOrphansFrom(std::shared_ptr<QStringList> entries, qsizetype next, bool removed, std::function<void()> done);
    void noteRemoval(const QString &folderPath, MirrorFolders::FolderRemoval outcome);
    // "syncedGroupHashes" as last read.
    const QMap<QString, QString> &syncedHashes() const;

    QList<AppGroup> m_groups;
    QString m_storageURL;
    std::optional<QString> m_loadError;
    MirrorFolders m_mirrorFolders;
    // Set while "groups.json" could not be read and no copy of it exists yet: until one does, the
    // file is not overwritten.
    bool m_unreadableFileNotBackedUp = false;
    bool m_saveFailing = false;
    std::shared_ptr<GroupsFileWriter> m_writer;
    // The writer's generation the groups here rest on, once the file was read; saves carry it.
    std::optional<quint64> m_seenGeneration;
    // A save was dropped for resting on an older state: once that state is taken in, save again.
    bool m_saveAfterTakeIn = false;
    // A look at the file found it changed while a write was under way: look again once it is told.
    bool m_takeInAfterWrite = false;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    // The version kept here of each group last told of as changed on both sides.
    QHash<QUuid, AppGroup> m_toldConflicts;
    bool m_takeInPosted = false;
    QStringList m_foldersKeptForUserFiles;
    // Orphaned folders whose tile removal is under way.
    QSet<QString> m_tileRemovals;
    mutable QPointer<UserDefaults> m_syncedHashesSource;
    mutable QMetaObject::Connection m_syncedHashesConnection;
    mutable std::optional<QMap<QString, QString>> m_syncedHashes;
};
