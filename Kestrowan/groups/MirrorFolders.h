#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/FolderIconPainter.h"
#include "Platform/FileStamp.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QHash>
#include <QMutex>

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class OwnRecord;
class QImage;
class SkinManager;

// The folder icons of a batch of folders, encoded off the main thread while the folders before
// them are written; each is written with the rest of its folder.
class IconWriteQueue : public std::enable_shared_from_this<IconWriteQueue> {
public:
    // Two independent hashes of an image's pixels, which together name them.
    struct PixelKey {
        size_t first = 0;
        size_t second = 0;
        friend bool operator==(const PixelKey &, const PixelKey &) = default;
        friend size_t qHash(const PixelKey &key, size_t seed = 0) { return qHashMulti(seed, key.first, key.second); }
    };
    static PixelKey pixelKey(const QImage &image);

    // The bytes of one folder's icon file, being encoded on the icon threads; see bytesFor.
    class Encoding;
    // Starts encoding `icon`, to be written in `folder` (nothing when the file there holds these
    // pixels as last written).
    std::shared_ptr<Encoding> encodeAhead(const QString &folder, const QImage &icon);
    // The icon file's bytes: what `ahead` encoded, waiting for it if it is under way, or encoded
    // here where it has not begun (whichever comes first does the work).
    QByteArray bytesFor(Encoding &ahead, const QImage &icon, const PixelKey &key);

    // The icon file of `icon`, whose pixels `key` names: groups of the same items in the same style
    // show the same picture, which a batch encodes once. Called on the writing threads.
    QByteArray iconFileBytes(const QImage &icon, const PixelKey &key);
    // What a batch keeps of the icons it encoded: a few groups' worth of files, no more; and the
    // memory its kept files hold.
    static constexpr qsizetype keptBytesLimit = 16 * 1024 * 1024;
    qsizetype keptBytes();
    // What the batch drew so far with `painter`, on the main thread.
    FolderIconPainter::Batch *drawnIcons(const FolderIconPainter &painter);

private:
    std::unique_ptr<FolderIconPainter::Batch> m_drawn;
    QMutex m_encodedLock;
    QHash<PixelKey, QByteArray> m_encoded;
    qsizetype m_encodedBytes = 0;
};


// The folders that stand for the groups in the Dock: one directory per group inside the groups
// folder, tied to its group by the file ".group_id", holding a symbolic link (or a ".webloc" file for a
// web link) per item, a link "@Kestrowan" to the program, the group's icon as "Icon\r" and the
// ".hidden" manifest that keeps "Icon\r" out of folder views.
//
// The user opens these folders from their Dock tiles and keeps things of their own in them: links,
// web links, dot files, documents. Which entries are the program's is told by the folder's record
// (OwnRecord, kept in "Made Entries" beside the groups folder), never by their kind, name or bytes;
// every other entry is the user's and is neither removed, renamed nor written over.
//
// Names written here never begin with ".": a group or item named ".x" would otherwise get a hidden
// entry that no lookup lists again (or one that piles up on every sync), and ".." would name the
// folder above.
class MirrorFolders {
public:
    // `error` is the reason when the folder could not be built.
    using Completion = std::function<void(std::optional<QString> error)>;

    static inline const QString groupIDFileName = QStringLiteral(".group_id");
    static inline const QString hiddenManifestFileName = QStringLiteral(".hidden");
    static inline const QString iconFileName = QStringLiteral("Icon\r");
    static inline const QString hiddenManifestText = QStringLiteral("Icon\nIcon?\n");
    static inline const QString programAliasName = QStringLiteral("@Kestrowan");

    // `programPath` is what "@Kestrowan" points at: the program's own executable.
    MirrorFolders(const QString &groupsDirectory, const QString &programPath);

    QString groupsDirectory() const { return m_groupsDirectory; }
    QString programPath() const { return m_programPath; }
    void setProgramPath(const QString &path) { m_programPath = path; }

    // The directory URL (with a trailing slash) of the group's folder: the first entry of the groups
    // folder whose ".group_id" names the group, else an entry named by the group's UUID.
    //
    // Cards ask on every redraw, so which folder belongs to which group is kept between calls. It is
    // read again after this object changed folders, and whenever the groups folder or the found
    // folder's ".group_id" no longer has the stamp it had: a folder renamed, removed or claimed
    // behind the program's back is noticed at the next call.
    std::optional<QUrl> findMirrorFolder(const AppGroup &group) const;
    // Called by whoever changes folders here, so that the next lookup lists them again. A
    // ".group_id" whose stamp is unchanged since it was read is not read again.
    void forgetFolderIndex() const
    {
        if (*m_index)
            (*m_index)->stale = true;
    }
    // The folder name the group should have: its name made safe, then "name 2", "name 3", ... past
    // entries that belong to other groups or to nobody known. A blank name gives the UUID.
    QString uniqueMirrorFolderName(const QString &name, const AppGroup &group) const;
    // The found folder, else where the group's folder would be created.
    QUrl mirrorFolderURL(const AppGroup &group) const;

    // Builds or rebuilds the group's folder; when the group was renamed, its old folder's Dock tile is
    // removed first and the folder moved. Every entry whose name does not begin with "." is
    // replaced. Follows the completion pattern of AsyncProcess.h.
    // With `icons`, the folder's icon is written through that queue rather than before completion.
    void createMirrorFolder(const AppGroup &group, SkinManager *skinManager, Completion completion,
                            std::shared_ptr<IconWriteQueue> icons = {}) const;
    // What became of a folder the program meant to remove.
    enum class FolderRemoval {
        Removed,
        Absent,
        // The program's own entries went; what the user put in it stays, and so does the folder.
        KeptUserEntries,
        // A link or no folder in its place, or the removal failed: left as it was.
        Failed,
        // A folder an earlier version made, with nothing in it known to be the program's (its
        // group is not known here): left as it was, and nothing is said of whose its files are.
        LeftUnknown,
    };
    struct RemovedFolder {
        QString path;
        FolderRemoval outcome = FolderRemoval::Absent;
    };
    // Deletes the group's folder (or the entry named by its UUID): the program's own entries, and
    // the folder once nothing else is left in it. Never fails.
    RemovedFolder removeMirrorFolder(const AppGroup &group) const;
    // The same for the folder at `path`, directly inside a groups folder that is no link, of a
    // group no longer known.
    // With `group`, the group the folder was made for: what an earlier version wrote in it for
    // that group, exactly, goes too.
    FolderRemoval removeFolder(const QString &path, const AppGroup *group = nullptr) const;
    // Takes the folders that hold their identity now out of the groups folder's record of folders
    // being made, which earlier versions kept (a folder is now recorded only once built).
    void forgetFinishedFolders() const;
    // The folder `name` of the groups folder that a kill left before it held its group's identity,
    // as that record names it: removed as `removeFolder` does; nullopt when it is no such folder.
    std::optional<FolderRemoval> removeUnfinishedFolder(const QString &name) const;
    // Whether a folder is being built: its entries being written, or its turn awaited. A folder in
    // the making may stand without its identity yet, and is no leftover of a kill.
    bool isBuilding() const;
    // Where the records of what the program made in its folders are kept.
    QString recordsFolder() const { return m_recordsFolder; }

    // An entry name from a display name: "/" and ":" become "_", blanks trimmed, "Shortcut" when
    // nothing is left, leading dots made "_"; with `extension`, the name's own extension is swapped.
    static QString shortcutBaseName(const QString &name, const std::optional<QString> &extension);
    // The item's entry name that is free in `folder`: "Mail.app", then "Mail 2.app", ...
    static QString uniqueShortcutFileName(const AppItem &item, const QString &folder,
                                          const std::optional<QString> &extension);
    // Where each name's numbering goes on from: the numbers below it were taken when last asked,
    // and names only become taken while a folder is planned, so a thousand items of one name cost
    // a thousand looks, not half a million.
    using NextNumbers = QHash<QString, qint64>;
    // The same, where `taken` says which names are not free; with `next`, numbering resumes.
    static QString uniqueShortcutFileName(const AppItem &item, const std::function<bool(const QString &)> &taken,
                                          const std::optional<QString> &extension, NextNumbers *next = nullptr);
    // `name` made safe, then "name 2", "name 3", ... until free in `folder`.
    static QString uniqueFileName(const QString &name, const QString &folder);
    static QString uniqueFileName(const QString &name, const std::function<bool(const QString &)> &taken);

    // A symbolic link at `destination` to the absolute `source`, made only where nothing stands; the
    // reason on failure (EEXIST in `error` when the name is taken).
    static std::optional<QString> writeAliasFile(const QString &source, const QString &destination, int *error = nullptr);
    // An XML property list {"URL": link}, written atomically; the reason on failure.
    static std::optional<QString> writeWeblocFile(const QUrl &link, const QString &destination);
    static QByteArray weblocBytes(const QUrl &link);
    static void refreshAppAliasTimestamps(const QString &alias);
    static void hideIconFile(const QString &folder);
    static void runChflagsHidden(const QString &file);
    static void runTouch(const QString &file);

    // The bytes of a folder icon file showing `icon`: a PNG of exactly its pixels, quickly made.
    static QByteArray iconFileBytes(const QImage &icon);

    // The trimmed text of the folder's ".group_id"; nullopt when it cannot be read as UTF-8.
    static std::optional<QString> readGroupID(const QString &folder);
    // Whether anything, a dangling symbolic link included, is at `path`.
    static bool entryExists(const QString &path);
    // Finishes what writes and removals in the program's folders left when the program was killed.
    void finishCutShortWork() const;

private:
    // One entry a rebuilt folder holds: a symbolic link to `linkTarget`, or else a file of `fileBytes`.
    struct PlannedEntry {
        QString name;
        QString linkTarget;
        QByteArray fileBytes;
    };
    // The entries the group's folder holds once built, named around `taken`; `alias` gets the
    // name of the program's link (empty when there is none). With `evenMissing`, items whose file
    // is gone get their entry too (as an earlier sync made it while the file was there).
    QList<PlannedEntry> plan(const AppGroup &group, const std::function<bool(const QString &)> &taken, QString *alias,
                             bool evenMissing = false) const;
    // A folder made by an earlier version, which kept no record: what stands in it exactly as the
    // program writes it for `group` (with `icon`, the icon file of those pixels too) is taken into
    // the record as the program's; everything else stays the user's. Without a group nothing is
    // taken: what a folder holds is the program's only as it is written for a group it knows.
    void adoptEarlierEntries(OwnRecord &record, const QString &folder, const AppGroup *group,
                             const std::optional<QImage> &icon = std::nullopt) const;

    struct OwnedFolder {
        QString path;
        FileStamp groupIDFile;
    };
    struct FolderIndex {
        FileStamp groupsFolder;
        qint64 takenNanoseconds = 0;
        QHash<QString, OwnedFolder> byGroupID;
        // What each entry's ".group_id" said, by entry path, with the stamp it had when read.
        QHash<QString, std::pair<FileStamp, QString>> owners;
        bool stale = false;
        // The last change of the groups folder was this object's own, and the index was brought up
        // to date with it: trusted until the change settles, when the folder is read once more for
        // anything else that changed in the same step of the file system's clock.
        bool ownChange = false;
        // Set until the main thread's event loop next turns: every lookup of one pass (a grid
        // drawing each group's card) reads the same listing, as if all were made at once.
        std::shared_ptr<bool> withinPass;
        // For a folder name, where the numbering of its folders went on from when a group last
        // asked: every name below was taken then.
        QHash<QString, qint64> nameNumbers;
    };

    // Builds the folder once the folders asked for before it are built.
    void createMirrorFolderNow(const AppGroup &group, SkinManager *skinManager, Completion completion,
                               std::shared_ptr<IconWriteQueue> icons) const;
    // `attempt`: how many names taken meanwhile by another group's folder were given up before.
    void buildFolder(const AppGroup &group, SkinManager *skinManager, Completion completion,
                     std::shared_ptr<IconWriteQueue> icons, int attempt = 0) const;

    // Draws the folder's icon here, writes the folder's entries on the folders' own thread and
    // completes on this one.
    void rebuild(const AppGroup &group, const QString &target, SkinManager *skinManager,
                 std::shared_ptr<IconWriteQueue> icons, Completion completion) const;
    // The folder's entries and its icon file (the bytes `ahead` encoded for a batch, when given),
    // with its record written once for them all; the reason on failure. `icon` also tells an icon
    // file an earlier version wrote. Runs on the folders' own thread: it looks at no index and
    // tells nobody.
    std::optional<QString> writeEntries(const AppGroup &group, const QString &target, const std::optional<QImage> &icon,
                                        IconWriteQueue *icons = nullptr, IconWriteQueue::Encoding *ahead = nullptr) const;
    // One pass of writing the folder's entries, and `icon` when it is to be written, against what
    // stands in it now. `collided` is set when an entry of someone else's took a planned name after
    // the folder was listed: the folder is planned again around it.
    std::optional<QString> writeEntriesOnce(const AppGroup &group, const QString &target, OwnRecord &record,
                                            const std::optional<PlannedEntry> &icon, bool *collided) const;
    // The folder's icon; none without a painter.
    std::optional<QImage> composeIcon(const AppGroup &group, SkinManager *skinManager, IconWriteQueue *icons) const;
    // Whether the entry at `path` already is what `entry` describes.
    static bool entryHolds(const QString &path, const PlannedEntry &entry);
    static std::optional<QString> writeWebloc(const QByteArray &bytes, const QString &destination,
                                              const SafeWrite::TemporaryNaming &naming = {}, int *error = nullptr);
    // The path of the first folder whose ".group_id" is `uuid`, from the index.
    std::optional<QString> folderOwnedBy(const QString &uuid) const;
    bool indexIsCurrent() const;
    // After `target` was built for the group `uuid` while the index was current: the index takes in
    // the folder rather than reading the groups folder again for every folder of a batch.
    void noteBuiltFolder(const QString &uuid, const QString &target) const;

    QString m_groupsDirectory;
    QString m_recordsFolder;
    QString m_programPath;
    // The folders asked to be built while one is: each starts once the one before it completed.
    struct FolderWrites {
        bool busy = false;
        // A folder's entries are being written on the folders' thread.
        bool writingBeside = false;
        QList<std::function<void()>> waiting;
    };
    std::shared_ptr<FolderWrites> m_writes = std::make_shared<FolderWrites>();
    // Shared with the copies that finish a build later, so that what they change is known here.
    std::shared_ptr<std::optional<FolderIndex>> m_index = std::make_shared<std::optional<FolderIndex>>();
};
