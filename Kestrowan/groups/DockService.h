#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <optional>

// Every access the program makes to the Dock's folder tiles, the list "persistent-others" of the
// Dock's preferences. Each change reads the whole list, changes it in memory and writes it back
// whole, then reads it back to confirm that what was written is what is stored. The Dock and the
// program on another display write the same list: each change is made under the lock they all take,
// on the list as stored then, so that only this program's own change is applied to it
// (DockListChanges). The tile writers may wait for that lock and restart the Dock, and so report
// through a completion (see AsyncProcess.h for the pattern: exactly once, on the main thread, never
// inside the call). Everything runs on the main thread; changes are made one at a time, in order.
//
// `syncBlocked` is process-wide: set when the system refused a write or a Dock restart failed after
// a write, cleared by the next write that is confirmed or by the user's sync from the group editor.
// Each change of the flag emits `syncBlockDidChange` on `instance()`.
class DockService final : public QObject {
    Q_OBJECT
public:
    // The name of the change notification, and the one reason every caller gives.
    static inline const QString syncBlockDidChangeNotification = QStringLiteral("DockService.syncBlockDidChange");
    static inline const QString syncBlockedReason = QStringLiteral("dock.sync.blocked");

    using Tile = QVariantMap;
    using Completion = std::function<void(bool)>;

    struct FolderTileEntry {
        QUrl folderURL;
        QString label;
        AppGroup::DisplayStyle displayStyle = AppGroup::DisplayStyle::Grid;
    };

    // The process-wide object that carries the notification.
    static DockService &instance();

    static bool syncBlocked();
    // The system's error number of the last write of the tile list that the disk refused (ENOSPC for
    // a full disk); 0 after a write that was stored, or refused for another reason.
    static int lastWriteError();
    static void setLastWriteError(int error);
    // Sets the block; announces it with {"reason": reason} unless it was set already.
    static void markSyncBlocked(const QString &reason);
    // The group editor's reset before a user-requested sync; announces it, without user info, only
    // when the block was set.
    static void clearSyncBlock();

    // The tiles now in the Dock, in order; empty when there are none or the list cannot be read.
    static QList<Tile> readPersistentOthers();
    // The file path a tile points at, percent escapes decoded, "." and ".." resolved, without a
    // trailing slash; nullopt for a tile without one.
    static std::optional<QString> tilePath(const Tile &tile);
    // A folder URL's path in the same form as `tilePath`.
    static QString standardizedPath(const QUrl &folderURL);
    // Whether the tile points at the folder: equal paths, canonically equivalent spellings included.
    // Anything that filters tiles by folder (the settings reset) should ask this.
    static bool tileMatchesFolder(const Tile &tile, const QUrl &folderURL);
    static bool isFolderInDock(const QUrl &folderURL);
    // The stored list as the preferences give it, to tell later whether it changed: a list read
    // again while nothing changed it is equal to this one at the cost of a pointer comparison.
    static QVariant storedTileList();

    // Stores the whole list of tiles; true only when reading it back gives exactly what was written.
    // Elements of the stored list that are not tiles are kept in their places. A list that is stored
    // in a form the program does not understand is never overwritten (false). Made now or not at
    // all: false, logged, while another writer holds the lock.
    static bool writePersistentOthers(const QList<Tile> &tiles);

    // The folder tile the program writes for a folder.
    static Tile folderTile(const QUrl &folderURL, const QString &label, AppGroup::DisplayStyle displayStyle);

    // Adds the folder's tile at the front, or replaces its first tile (keeping the Dock's label
    // unless `refreshLabel`). Restarts the Dock when the tile is new or its view settings changed.
    static void upsertFolderTile(const QUrl &folderURL, const QString &label, AppGroup::DisplayStyle displayStyle,
                                 bool refreshLabel, Completion completion);
    // The same for several folders with one write and at most one restart; folders that do not exist
    // are skipped. New tiles end up at the front in the reverse of the entries' order.
    static void upsertFolderTiles(const QList<FolderTileEntry> &entries, Completion completion);
    // Removes every tile of the folder (which need not exist); restarts the Dock when one was removed.
    static void removeFolderTile(const QUrl &folderURL, Completion completion);
    // A folder about to be renamed: its first tile points at the new path where it stands, and its
    // other tiles go (all of them when the new path has a tile already). True also when it has no
    // tile. The Dock restarts with the next writer's change (a renamed group's tile changes with one
    // restart, not two): a restart owed that way is made by the next writer whatever it changes, or
    // by `settleOwedRestart`.
    static void moveFolderTile(const QUrl &fromURL, const QUrl &toURL, Completion completion);
    // Completes with `result`, restarting the Dock first when a removal left a restart owed (a sync
    // that ends before it writes again); a failed restart marks the block and completes false.
    static void settleOwedRestart(bool result, Completion completion);
    // Whether a restart was owed; it no longer is.
    static bool takeOwedRestart();

signals:
    // `userInfo` is {"reason": reason} when the block was set, empty when it was cleared.
    void syncBlockDidChange(const QVariantMap &userInfo);

private:
    using QObject::QObject;
    bool m_syncBlocked = false;
    bool m_restartOwed = false;
    int m_lastWriteError = 0;
};
