#include "Kestrowan/groups/GroupManager.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupsFileWriter.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/groups/GroupsMerge.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/BoundedFile.h"
#include "Platform/FileStamp.h"
#include "Platform/logging/SystemErrorText.h"
#include "Platform/safewrite/SafeWrite.h"
#include "analytics/NVLXAnalytics.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSet>

#include <cerrno>
#include <sys/stat.h>

namespace {

constexpr qint64 groupsFileSizeLimit = 256 * 1024 * 1024;

QString runningProgramPath()
{
    return QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
}

const QString corruptCopyPrefix = QStringLiteral("groups-corrupt-");

// A link on the way to a stored file (the file itself, or a folder above it) whose target cannot be
// reached: a volume not mounted yet.
struct UnreachableLink {
    QString path;   // the link
    QString reason; // what the log says
};

// A path as the user reads it: from "~" inside the home folder.
QString shownPath(const QString &path)
{
    const QString home = QDir::homePath();
    return path.startsWith(home + u'/') ? u'~' + path.mid(home.size()) : path;
}

// The first such link on the way to `path`, from the file up; nothing when the way is clear or
// nothing stands there yet.
std::optional<UnreachableLink> unreachableLinkOnTheWay(const QString &path)
{
    QString at = QDir::cleanPath(path);
    for (;;) {
        struct stat entry {};
        if (::lstat(QFile::encodeName(at).constData(), &entry) == 0) {
            struct stat target {};
            if (!S_ISLNK(entry.st_mode) || ::stat(QFile::encodeName(at).constData(), &target) == 0)
                return std::nullopt;
            const int error = errno;
            const QFileInfo info(at);
            // The file by its name, as the user knows it; a folder by its whole path.
            const QString named = at == QDir::cleanPath(path) ? info.fileName() : at;
            return UnreachableLink{at, QStringLiteral("%1 is a link to %2, which cannot be reached (%3)")
                                           .arg(named, info.symLinkTarget(), systemErrorText(error))};
        }
        if (errno != ENOENT)
            return std::nullopt;
        const QString parent = QFileInfo(at).path();
        if (parent == at)
            return std::nullopt;
        at = parent;
    }
}

} // namespace

void GroupManager::postCompletion(std::function<void()> completion)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion)] {
            if (completion)
                completion();
        },
        Qt::QueuedConnection);
}

GroupManager::GroupManager(QObject *parent)
    : GroupManager(appSupportDirectoryURL(), groupsDirectoryURL(), parent)
{
}

GroupManager::GroupManager(const QString &storageDirectory, const QString &groupsDirectory, QObject *parent)
    : QObject(parent)
    , m_storageURL(QDir::cleanPath(storageDirectory) + u'/' + groupsFileName)
    , m_mirrorFolders(groupsDirectory, runningProgramPath())
    , m_writer(GroupsFileWriter::forFile(m_storageURL))
{
    m_writer->addListener(this, [this](const GroupsFileWriter::Outcome &outcome) {
        if (outcome.changedElsewhere) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_saveAfterTakeIn = true;
                    postTakeIn();
                },
                Qt::QueuedConnection);
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, failed = outcome.failure.has_value(), lockHeldElsewhere = outcome.lockHeldElsewhere] {
                applyMergedWrites();
                setSaveFailing(failed);
                // Another program keeps the file locked: what it wrote is taken in and the groups
                // saved again, until the lock is had.
                if (lockHeldElsewhere)
                    m_saveAfterTakeIn = true;
                // A look at the file that this write held back is taken again now.
                if (lockHeldElsewhere || std::exchange(m_takeInAfterWrite, false))
                    postTakeIn();
            },
            Qt::QueuedConnection);
    });
}

GroupManager::~GroupManager()
{
    m_writer->removeListener(this);
    m_writer->waitUntilWritten();
    // A last save held back because another program saved meanwhile: its change is taken in and
    // the merged groups written, so that quitting loses neither side's.
    for (int attempt = 0; attempt < 3 && m_writer->lastWriteFoundOtherChange(); ++attempt) {
        m_saveAfterTakeIn = true;
        takeInOutsideChanges();
        m_writer->waitUntilWritten();
    }
    // The groups on screen were never saved: this is the last chance before they are lost.
    if (m_writer->lastWriteFailed()) {
        qCInfo(persistenceLogger, "Saving groups again before quitting, after a failed save");
        m_writer->save(m_groups, m_seenGeneration);
        m_writer->waitUntilWritten();
    }
}

void GroupManager::setSaveFailing(bool failing)
{
    if (failing == m_saveFailing)
        return;
    m_saveFailing = failing;
    emit saveFailingChanged();
}

void GroupManager::setGroups(const QList<AppGroup> &groups)
{
    if (groups == m_groups)
        return;
    changeGroups([&] { m_groups = groups; });
}

template <typename Change>
void GroupManager::changeGroups(Change change)
{
    emit groupsAboutToChange();
    change();
    emit groupsChanged();
}

void GroupManager::setLoadError(const std::optional<QString> &error)
{
    if (error == m_loadError)
        return;
    m_loadError = error;
    emit loadErrorChanged();
}

bool GroupManager::isRetiredIconStyle(AppGroup::IconStyle style)
{
    return style == AppGroup::IconStyle::Glass || style == AppGroup::IconStyle::Minimal;
}

AppGroup GroupManager::resettingRetiredIconStyle(AppGroup group)
{
    if (isRetiredIconStyle(group.iconStyle)) {
        group.iconStyle = AppGroup::IconStyle::Shelf;
        group.skinId.reset();
    }
    return group;
}

void GroupManager::ensureStorageDirectories()
{
    QDir().mkpath(QFileInfo(m_storageURL).absolutePath());
    QDir().mkpath(groupsDirectory());
    // A removal the last run did not finish (killed, a power cut) may have set entries aside.
    m_mirrorFolders.finishCutShortWork();
}

void GroupManager::loadGroups()
{
    // A save still on its way to the file comes first: the file is read as the store last left it.
    m_writer->waitUntilWritten();
    watchFile();
    // A link whose file cannot be reached (a volume not mounted yet), be it the file's or its
    // folder's, is no empty list: taken for one, it would have every group's folder and Dock item
    // swept away.
    if (const std::optional<UnreachableLink> unreachable = unreachableLinkOnTheWay(m_storageURL)) {
        qCCritical(persistenceLogger, "Failed to load groups: %s", qUtf8Printable(loggedText(unreachable->reason)));
        setGroups({});
        setLoadError(unreachable->path == QDir::cleanPath(m_storageURL)
                         ? localized(QStringLiteral("groups.loadError.unreachable"))
                         : localizedFormat(QStringLiteral("groups.loadError.folderUnreachable"), {shownPath(unreachable->path)}));
        return;
    }
    if (GroupsFileWriter::isAbsent(m_storageURL)) {
        m_seenGeneration = m_writer->adopt(std::nullopt, {}, FileStamp());
        return;
    }

    std::optional<QList<AppGroup>> decoded;
    QString failure;
    // A fifo would hang the start and a link to a device would never end; groups are small, but a
    // user with thousands of items still fits far inside the bound.
    const FileStamp stamp = FileStamp::of(m_storageURL);
    const std::optional<QByteArray> bytes = readSmallFile(m_storageURL, groupsFileSizeLimit, &failure);
    if (bytes)
        decoded = GroupsJson::decode(*bytes, &failure);

    if (!decoded) {
        qCCritical(persistenceLogger, "Failed to load groups: %s", qUtf8Printable(failure));
        // The store rests on no groups from it; once a copy is kept, its next save replaces it.
        if (bytes)
            m_seenGeneration = m_writer->adopt(*bytes, {}, stamp);
        m_unreadableFileNotBackedUp = !backUpUnreadableFile();
        setGroups({});
        // The text says whether a copy exists: without one the user must not lose the file by hand.
        setLoadError(localized(m_unreadableFileNotBackedUp ? QStringLiteral("groups.loadError.notKept")
                                                           : QStringLiteral("groups.loadError")));
        return;
    }

    bool reset = false;
    for (AppGroup &group : *decoded) {
        if (isRetiredIconStyle(group.iconStyle)) {
            group = resettingRetiredIconStyle(std::move(group));
            reset = true;
        }
    }
    m_seenGeneration = m_writer->adopt(*bytes, *decoded, stamp);
    setGroups(*decoded);
    if (reset)
        saveGroups();
}

void GroupManager::watchFile()
{
    if (m_watcher || !QCoreApplication::instance())
        return;
    m_watcher = std::make_unique<QFileSystemWatcher>();
    // The file is replaced whole, so its folder is watched too: a new file has a new identity.
    connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, &GroupManager::postTakeIn);
    connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, &GroupManager::postTakeIn);
    m_watcher->addPath(QFileInfo(m_storageURL).absolutePath());
    if (QFileInfo::exists(m_storageURL))
        m_watcher->addPath(m_storageURL);
}

void GroupManager::postTakeIn()
{
    // A burst of changes in the folder (each save's temporary file) costs one look.
    if (m_takeInPosted)
        return;
    m_takeInPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_takeInPosted = false;
            if (m_watcher && QFileInfo::exists(m_storageURL) && !m_watcher->files().contains(m_storageURL))
                m_watcher->addPath(m_storageURL);
            takeInOutsideChanges();
        },
        Qt::QueuedConnection);
}

void GroupManager::takeInOutsideChanges()
{
    // Groups that could not be loaded are not there to merge into; the load error stands.
    if (m_loadError)
        return;
    // The writer may write between the look and the adoption; the look is then taken again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        // What the writer merged in comes first: the groups here must rest on the state it left.
        const std::optional<GroupsFileWriter::KnownFile> before = applyMergedWrites();
        // Every save of this side moves the folder; the file it left need not be read again.
        const FileStamp stamp = FileStamp::of(m_storageURL);
        if (!m_saveAfterTakeIn && before && before->stamp.exists && stamp == before->stamp)
            return;
        const bool exists = !GroupsFileWriter::isAbsent(m_storageURL);
        QString failure;
        const std::optional<QByteArray> bytes = exists ? readSmallFile(m_storageURL, groupsFileSizeLimit, &failure) : QByteArray();
        if (!bytes)
            return;
        const std::optional<QByteArray> content = exists ? bytes : std::nullopt;
        // A save of this side that landed during the look makes what was seen unsure: look again.
        // One landing now may already be in the file.
        const std::optional<GroupsFileWriter::KnownFile> known = m_writer->known();
        if (!known)
            return;
        if (!before || before->version != known->version)
            continue;
        if (content == known->content || (content && content == known->beingWritten)) {
            if (std::exchange(m_saveAfterTakeIn, false) && m_groups != known->groups)
                saveGroups();
            return;
        }
        std::optional<QList<AppGroup>> theirs = exists ? GroupsJson::decode(*bytes, &failure) : std::nullopt;
        if (!theirs) {
            // Removed, or left unreadable: nothing of the other side to take in. The groups here are
            // written again, an unreadable file only once a copy of it is kept.
            if (exists) {
                qCCritical(persistenceLogger, "groups.json was changed by another program and cannot be read: %s",
                           qUtf8Printable(failure));
                m_unreadableFileNotBackedUp = !backUpUnreadableFile();
            } else {
                qCCritical(persistenceLogger, "groups.json was removed by another program; saving the groups again");
            }
            const std::optional<quint64> generation = m_writer->adopt(content, known->groups, stamp, known->version);
            if (!generation) {
                if (heldBackByWrite())
                    return;
                continue;
            }
            m_seenGeneration = *generation;
            m_saveAfterTakeIn = false;
            saveGroups();
            return;
        }
        for (AppGroup &group : *theirs)
            group = resettingRetiredIconStyle(std::move(group));
        const GroupsMerge merged = GroupsMerge::merge(known->groups, m_groups, *theirs);
        const std::optional<quint64> generation = m_writer->adopt(content, *theirs, stamp, known->version);
        if (!generation) {
            if (heldBackByWrite())
                return;
            continue;
        }
        m_seenGeneration = *generation;
        m_saveAfterTakeIn = false;
        qCInfo(persistenceLogger, "Took in the groups another program saved");
        if (merged.groups != m_groups)
            changeGroups([&] { m_groups = merged.groups; });
        if (merged.groups != *theirs)
            saveGroups();
        tellConflicts(merged.conflicts);
        return;
    }
    // Saves of this side kept landing between the look and the adoption: look again from the event
    // loop rather than leave the other program's change unseen until the file changes once more.
    postTakeIn();
}

bool GroupManager::heldBackByWrite()
{
    // The write brings what it found in the file onto the groups as they were saved; the groups
    // here stay on the state they rest on until then, and the file is looked at again once the
    // write is told. One that ended meanwhile has changed the known state: look again at once.
    if (!m_writer->isWriting())
        return false;
    qCInfo(persistenceLogger, "groups.json changed while a save of the groups is under way; looking again once it is written");
    m_takeInAfterWrite = true;
    return true;
}

std::optional<GroupsFileWriter::KnownFile> GroupManager::applyMergedWrites()
{
    const GroupsFileWriter::MergedWrites taken = m_writer->takeMergedWrites();
    if (m_seenGeneration)
        m_seenGeneration = taken.generation;
    for (const GroupsFileWriter::MergedWrite &write : taken.writes) {
        // The other program's change reached the file with a save of this side; it reaches the
        // screen the same way, on top of what changed here since that save.
        const GroupsMerge merged = GroupsMerge::merge(write.saved, m_groups, write.written);
        qCInfo(persistenceLogger, "Took in the groups another program saved");
        if (merged.groups != m_groups)
            changeGroups([&] { m_groups = merged.groups; });
        if (merged.groups != write.written)
            saveGroups();
        tellConflicts(write.conflicts + merged.conflicts);
    }
    return taken.known;
}

void GroupManager::tellConflicts(const QList<AppGroup> &conflicts)
{
    if (conflicts.isEmpty())
        return;
    QStringList names;
    for (const AppGroup &group : conflicts) {
        // The writer and the store may both meet the same change of the other side (one while it
        // saves, the other as it looks); the user hears of it once.
        if (m_toldConflicts.value(group.id) == group)
            continue;
        m_toldConflicts.insert(group.id, group);
        qCCritical(persistenceLogger, "Group %s was changed here and by another program; kept the change made here",
                   qUtf8Printable(loggedText(group.name)));
        names.append(group.name);
    }
    if (!names.isEmpty())
        emit changedHereAndElsewhere(names);
}

std::optional<QString> GroupManager::earlierCopyOfUnreadableFile() const
{
    const QFileInfo file(m_storageURL);
    const QFileInfoList copies = QDir(file.absolutePath())
                                     .entryInfoList({corruptCopyPrefix + QStringLiteral("*.json")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo &copy : copies) {
        // Only a copy of ours: a link could name the file itself.
        if (!copy.isSymLink() && copy.size() == file.size() && SafeWrite::sameContents(m_storageURL, copy.filePath()))
            return copy.fileName();
    }
    return std::nullopt;
}

bool GroupManager::backUpUnreadableFile()
{
    const QString name = corruptCopyPrefix + QStringLiteral("%1.json").arg(QDateTime::currentSecsSinceEpoch());
    const QString copy = QFileInfo(m_storageURL).absolutePath() + u'/' + name;
    if (!QFileInfo(m_storageURL).isFile()) {
        qCCritical(persistenceLogger, "Could not back up groups.json to %s (not a regular file); it will not be overwritten",
                   qUtf8Printable(name));
        return false;
    }
    // One copy of each unreadable file, however many starts meet it: a large file copied at every
    // start would fill the disk.
    if (const std::optional<QString> earlier = earlierCopyOfUnreadableFile()) {
        qCCritical(persistenceLogger, "Corrupt groups.json was backed up before, to %s", qUtf8Printable(loggedText(*earlier)));
        return true;
    }
    const qint64 size = QFileInfo(m_storageURL).size();
    const qint64 room = SafeWrite::spareBytes(QFileInfo(m_storageURL).absolutePath());
    if (size > room) {
        qCCritical(persistenceLogger,
                   "Could not back up corrupt groups.json to %s (it holds %lld bytes and the disk can spare %lld); "
                   "it will not be overwritten",
                   qUtf8Printable(name), size, room);
        return false;
    }
    const std::optional<QString> failure = SafeWrite::copyFile(m_storageURL, copy);
    if (!failure) {
        qCCritical(persistenceLogger, "Corrupt groups.json backed up to %s", qUtf8Printable(name));
        return true;
    }
    qCCritical(persistenceLogger, "Could not back up corrupt groups.json to %s (%s); it will not be overwritten",
               qUtf8Printable(name), qUtf8Printable(loggedText(*failure)));
    return false;
}

void GroupManager::saveGroups()
{
    if (m_unreadableFileNotBackedUp) {
        // The unreadable file may still hold the user's groups: it is replaced only once a copy exists
        // (or the file itself is gone).
        if (QFileInfo::exists(m_storageURL) && !backUpUnreadableFile()) {
            qCCritical(persistenceLogger, "Failed to save groups: %s",
                       "the unreadable groups.json could not be copied aside, so it was kept");
            // The changes on screen are not on disk: the windows say so, as for a failed write.
            setSaveFailing(true);
            return;
        }
        m_unreadableFileNotBackedUp = false;
    }

    // The list shares its data with the copy; encoding and writing happen on the writer's thread.
    m_writer->save(m_groups, m_seenGeneration);
}

void GroupManager::waitUntilSaved()
{
    m_writer->waitUntilWritten();
}

AppGroup GroupManager::createGroup()
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = localized(QStringLiteral("group.new"));
    group.displayStyle = AppGroup::DisplayStyle::Grid;
    group.iconStyle = AppGroup::IconStyle::Shelf;
    changeGroups([&] { m_groups.append(group); });
    saveGroups();
    NVLXAnalytics::signal(QStringLiteral("group.created"),
                          {{QStringLiteral("total_groups"), QString::number(m_groups.size())}});
    return group;
}

void GroupManager::updateGroup(const AppGroup &group)
{
    const auto found = std::find_if(m_groups.cbegin(), m_groups.cend(),
                                    [&group](const AppGroup &stored) { return stored.id == group.id; });
    if (found == m_groups.cend())
        return;
    const qsizetype index = found - m_groups.cbegin();
    changeGroups([&] { m_groups[index] = resettingRetiredIconStyle(group); });
    saveGroups();
}

void GroupManager::deleteGroup(const AppGroup &group, bool keepDock, std::function<void()> completion)
{
    const std::optional<QUrl> folder = findMirrorFolder(group);
    if (keepDock || !folder) {
        if (!keepDock)
            removeMirrorFolder(group);
        finishDeletion(group);
        return postCompletion(std::move(completion));
    }
    QPointer<GroupManager> self(this);
    DockService::removeFolderTile(*folder, [self, group, folder, completion = std::move(completion)](bool removed) {
        if (self) {
            // A tile that could not be removed must keep its folder, or it points at nothing.
            if (removed)
                self->removeMirrorFolder(group);
            else
                qCCritical(persistenceLogger, "Kept the folder %s: its Dock item could not be removed",
                           qPrintable(loggedText(QDir::cleanPath(folder->toLocalFile()))));
            self->finishDeletion(group);
            if (!removed)
                emit self->dockTilesLeftBehind();
        }
        if (completion)
            completion();
    });
}

void GroupManager::finishDeletion(const AppGroup &group)
{
    removeSyncedHash(group);
    changeGroups([&] { m_groups.removeIf([&group](const AppGroup &stored) { return stored.id == group.id; }); });
    saveGroups();
    NVLXAnalytics::signal(QStringLiteral("group.deleted"),
                          {{QStringLiteral("total_groups"), QString::number(m_groups.size())}});
}

std::optional<QStringList> GroupManager::sweptFolders()
{
    if (m_loadError) {
        // Every folder would look orphaned against a list that is empty only because the file was
        // unreadable; removing them would also take the groups out of the Dock.
        qCCritical(persistenceLogger, "Orphaned group folders kept: the groups could not be loaded");
        return std::nullopt;
    }
    // A group another program has just made has its folder already: it must be known here first.
    takeInOutsideChanges();
    // A folder being built may stand without its identity for a moment: the sweep waits for the
    // next one.
    if (m_mirrorFolders.isBuilding())
        return std::nullopt;
    const QDir folder(groupsDirectory());
    if (!folder.exists())
        return std::nullopt;
    m_mirrorFolders.forgetFinishedFolders();
    return folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QSet<QString> GroupManager::liveGroupIDs() const
{
    QSet<QString> live;
    for (const AppGroup &group : std::as_const(m_groups))
        live.insert(ModelJson::uuidText(group.id));
    return live;
}

bool GroupManager::removeIfOrphaned(const QString &entry, const QSet<QString> &live)
{
    const QString path = groupsDirectory() + u'/' + entry;
    const QFileInfo info(path);
    // A link is not a folder of ours; removing through it would empty whatever it points at.
    if (!info.isDir() || info.isSymLink())
        return false;
    // A ".group_id" that says no group (missing, damaged, or left empty by a power cut before
    // its bytes reached the disk) may still stand in a live group's folder: such a folder stays.
    const std::optional<QString> owner = MirrorFolders::readGroupID(path);
    if (!owner && !live.contains(entry) && !m_mirrorFolders.isBuilding()) {
        // A folder the program began and a kill left before it held its identity.
        if (const std::optional<MirrorFolders::FolderRemoval> removal = m_mirrorFolders.removeUnfinishedFolder(entry)) {
            noteRemoval(path, *removal);
            return true;
        }
    }
    if (!owner || QUuid::fromString(*owner).isNull()) {
        if (!live.contains(entry))
            qCInfo(persistenceLogger, "Kept the folder %s: which group it belongs to cannot be read",
                   qUtf8Printable(loggedText(entry)));
        return false;
    }
    if (live.contains(*owner))
        return false;
    // A tile whose folder went away would point at nothing: the tile goes first.
    if (DockService::isFolderInDock(QUrl::fromLocalFile(path)))
        removeLeftBehindTile(path);
    else
        noteRemoval(path, m_mirrorFolders.removeFolder(path));
    return true;
}

void GroupManager::removeOrphanedGroupFolders()
{
    const std::optional<QStringList> entries = sweptFolders();
    if (!entries)
        return;
    const QSet<QString> live = liveGroupIDs();
    bool removed = false;
    for (const QString &entry : *entries)
        removed = removeIfOrphaned(entry, live) || removed;
    // What the folders are is known after a sync, and looked up for every group at once (the
    // cards, the hover index): it is read again only when a folder went.
    if (removed)
        m_mirrorFolders.forgetFolderIndex();
}

void GroupManager::removeOrphanedGroupFoldersInSlices(std::function<void()> done)
{
    std::optional<QStringList> entries = sweptFolders();
    if (!entries) {
        if (done)
            done();
        return;
    }
    removeOrphansFrom(std::make_shared<QStringList>(std::move(*entries)), 0, false, std::move(done));
}

void GroupManager::removeOrphansFrom(std::shared_ptr<QStringList> entries, qsizetype next, bool removed, std::function<void()> done)
{
    // A slice reads a few hundred small files at most, a few milliseconds on a busy disk.
    constexpr qsizetype kSlice = 200;
    // The groups as they are now: one deleted or taken in from another program between slices
    // counts from the next slice on.
    const QSet<QString> live = liveGroupIDs();
    const qsizetype end = std::min(entries->size(), next + kSlice);
    for (; next < end; ++next)
        removed = removeIfOrphaned(entries->at(next), live) || removed;
    if (next < entries->size()) {
        // Should the store go meanwhile, the rest of the sweep goes with it, and `done` still comes.
        QMetaObject::invokeMethod(QCoreApplication::instance(), [self = QPointer<GroupManager>(this), entries, next, removed,
                                                                 done = std::move(done)]() mutable {
            if (self)
                self->removeOrphansFrom(entries, next, removed, std::move(done));
            else if (done)
                done();
        }, Qt::QueuedConnection);
        return;
    }
    if (removed)
        m_mirrorFolders.forgetFolderIndex();
    if (done)
        done();
}

void GroupManager::removeLeftBehindTile(const QString &folderPath)
{
    if (m_tileRemovals.contains(folderPath))
        return;
    m_tileRemovals.insert(folderPath);
    QPointer<GroupManager> self(this);
    DockService::removeFolderTile(QUrl::fromLocalFile(folderPath), [self, folderPath](bool removed) {
        if (!self)
            return;
        self->m_tileRemovals.remove(folderPath);
        if (!removed) {
            qCCritical(persistenceLogger, "Kept the folder %s: its Dock item could not be removed", qPrintable(loggedText(folderPath)));
            emit self->dockTilesLeftBehind();
            return;
        }
        qCInfo(persistenceLogger, "Removed the Dock item of a deleted group's folder %s", qPrintable(loggedText(folderPath)));
        self->noteRemoval(folderPath, self->m_mirrorFolders.removeFolder(folderPath));
        self->m_mirrorFolders.forgetFolderIndex();
    });
}

void GroupManager::removeMirrorFolder(const AppGroup &group)
{
    const MirrorFolders::RemovedFolder removed = m_mirrorFolders.removeMirrorFolder(group);
    noteRemoval(removed.path, removed.outcome);
}

void GroupManager::noteRemoval(const QString &folderPath, MirrorFolders::FolderRemoval outcome)
{
    const QString path = QDir::cleanPath(folderPath);
    if (outcome == MirrorFolders::FolderRemoval::Failed)
        qCCritical(persistenceLogger, "Could not remove the folder %s; it is tried again later", qUtf8Printable(loggedText(path)));
    if (outcome == MirrorFolders::FolderRemoval::LeftUnknown)
        qCInfo(persistenceLogger, "Kept the folder %s: an earlier version made it for a group not known here, and nothing in it is known to be Kestrowan's",
               qUtf8Printable(loggedText(path)));
    if (outcome != MirrorFolders::FolderRemoval::KeptUserEntries)
        return;
    qCInfo(persistenceLogger, "Kept the folder %s: it holds files Kestrowan did not make", qUtf8Printable(loggedText(path)));
    // Its identity went with the program's files, so no later look comes back to it: the user
    // hears of it this once.
    tellFolderKeptForUserFiles(path);
}

void GroupManager::tellFolderKeptForUserFiles(const QString &folderPath)
{
    const QString path = QDir::cleanPath(folderPath);
    if (!m_foldersKeptForUserFiles.contains(path))
        m_foldersKeptForUserFiles.append(path);
    emit foldersKeptForUserFiles();
}

QStringList GroupManager::takeFoldersKeptForUserFiles()
{
    return std::exchange(m_foldersKeptForUserFiles, {});
}
