#include "Kestrowan/groups/MirrorFolders.h"

#include "Kestrowan/groups/AsyncProcess.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/PathComponents.h"
#include "Platform/codecs/PngEncoder.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/BoundedFile.h"
#include "Platform/PropertyList.h"
#include "Platform/logging/SystemErrorText.h"

#include <QMutex>
#include <QTemporaryFile>
#include <QThread>
#include <QThreadPool>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QSet>
#include "Platform/safewrite/OwnFiles.h"
#include "Platform/safewrite/OwnRecord.h"
#include "Platform/safewrite/SafeWrite.h"
#include <QStringDecoder>
#include <QUuid>
#include <QWaitCondition>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ".group_id" holds one UUID; anything much longer is not ours.
constexpr qint64 groupIDFileLimit = 4096;

QString joined(const QString &folder, const QString &name)
{
    return folder + u'/' + name;
}

QString errnoText()
{
    return systemErrorText(errno);
}

QUrl directoryURL(const QString &path)
{
    return QUrl::fromLocalFile(path.endsWith(u'/') ? path : path + u'/');
}

QString pathOfDirectoryURL(const QUrl &url)
{
    return QDir::cleanPath(url.toLocalFile());
}

// "/" and ":" cannot stand in a file name on the platform's file system, so both become "_".
QString replacingSeparators(const QString &name)
{
    QString result = name;
    result.replace(u'/', u'_');
    result.replace(u':', u'_');
    return result;
}

QString replacingLeadingDots(const QString &name)
{
    QString result = name;
    for (qsizetype i = 0; i < result.size() && result.at(i) == u'.'; ++i)
        result[i] = u'_';
    return result;
}

// Spaces and tabs only: a line break at either end stays part of the name.
QString trimmingSpacesAndTabs(const QString &text)
{
    const auto isBlank = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The stem and the extension of an entry name; a leading dot does not start an extension.
std::pair<QString, QString> splitExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0)
        return {name, QString()};
    return {name.left(dot), name.mid(dot + 1)};
}

// Replaces the file at `path` in one step (a reader sees the old bytes or the new, never a part)
// without forcing it to disk: a mirror folder is rebuilt from the groups whenever it is synced,
// so a sync to the disk per file would only make a sync of many groups wait on it hundreds of times.
std::optional<QString> writeAtomically(const QString &path, const QByteArray &bytes, const SafeWrite::TemporaryNaming &naming = {})
{
    return SafeWrite::replaceFile(path, bytes, SafeWrite::Folder::MustExist, SafeWrite::Durability::Rebuilt, nullptr, naming);
}

// What was last written to (or found in) each folder's icon file: the pixels' hash and the file's
// stamp then. A sync that composes the same pixels for a file nobody has touched since writes
// nothing, and the Dock, which redraws a tile whose icon file changes, has nothing to redraw.
struct WrittenIcon {
    size_t pixels = 0;
    FileStamp file;
};

QMutex &writtenIconsLock()
{
    static QMutex lock;
    return lock;
}

QHash<QString, WrittenIcon> &writtenIcons()
{
    static QHash<QString, WrittenIcon> icons;
    return icons;
}

// Makes the file at `path` where nothing stands, never over what appeared there meanwhile.
std::optional<QString> createAtomically(const QString &path, const QByteArray &bytes, const SafeWrite::TemporaryNaming &naming, int *error)
{
    return SafeWrite::createFile(path, bytes, SafeWrite::Durability::Rebuilt, error, naming);
}

// Whether the icon file at `path` holds the pixels `pixels` named when it was last written or
// found, untouched since: a sync that composes the same picture then neither encodes nor writes.
bool iconKnownUnchanged(const QString &path, size_t pixels)
{
    QMutexLocker locker(&writtenIconsLock());
    const auto known = writtenIcons().constFind(path);
    return known != writtenIcons().cend() && known->pixels == pixels && known->file.exists && FileStamp::of(path) == known->file;
}

void noteIconFile(const QString &path, size_t pixels)
{
    const FileStamp stamp = FileStamp::of(path);
    QMutexLocker locker(&writtenIconsLock());
    writtenIcons().insert(path, WrittenIcon{pixels, stamp});
}

void post(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

// A pool of the application object's, below the window's priority: the application object joins
// its threads as it goes, before any exit handler runs.
QThreadPool &ownedPool(QPointer<QThreadPool> &pool, int threads)
{
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(threads);
        pool->setThreadPriority(QThread::LowPriority);
    }
    return *pool;
}

// Threads of their own: Qt's painting hands work to its global pool and waits for it, and must
// not wait behind icon writes. A quarter of the machine: encoding two hundred icons at once on
// every core kept the main thread from drawing for a tenth of a second at a time.
QThreadPool &iconWritePool()
{
    static QPointer<QThreadPool> pool;
    return ownedPool(pool, std::max(1, QThread::idealThreadCount() / 4));
}

// The folders' entries and their records are written on one thread of their own, a folder at a
// time in the order asked: making a thousand links, web-link files and records held the window
// still for most of a sync.
QThreadPool &folderWritePool()
{
    static QPointer<QThreadPool> pool;
    return ownedPool(pool, 1);
}

} // namespace

IconWriteQueue::PixelKey IconWriteQueue::pixelKey(const QImage &image)
{
    const size_t shape = qHash(image.size()) ^ size_t(image.format());
    PixelKey key{shape, ~shape};
    const size_t rowBytes = size_t(image.width()) * size_t(image.depth() / 8);
    for (int y = 0; y < image.height(); ++y) {
        key.first = qHashBits(image.constScanLine(y), rowBytes, key.first);
        key.second = qHashBits(image.constScanLine(y), rowBytes, key.second);
    }
    return key;
}

QByteArray IconWriteQueue::iconFileBytes(const QImage &icon, const PixelKey &key)
{
    {
        QMutexLocker locker(&m_encodedLock);
        if (const auto found = m_encoded.constFind(key); found != m_encoded.cend())
            return *found;
    }
    const QByteArray bytes = MirrorFolders::iconFileBytes(icon);
    // Counted as the memory the bytes hold, which a growing buffer leaves larger than the file.
    QMutexLocker locker(&m_encodedLock);
    if (m_encodedBytes + bytes.capacity() <= keptBytesLimit && !m_encoded.contains(key)) {
        m_encoded.insert(key, bytes);
        m_encodedBytes += bytes.capacity();
    }
    return bytes;
}

FolderIconPainter::Batch *IconWriteQueue::drawnIcons(const FolderIconPainter &painter)
{
    if (!m_drawn)
        m_drawn = painter.newBatch();
    return m_drawn.get();
}

qsizetype IconWriteQueue::keptBytes()
{
    QMutexLocker locker(&m_encodedLock);
    qsizetype held = 0;
    for (const QByteArray &bytes : std::as_const(m_encoded))
        held += bytes.capacity();
    return held;
}

class IconWriteQueue::Encoding {
public:
    enum class Stage { Waiting, Encoding, Done };
    QMutex lock;
    QWaitCondition finished;
    Stage stage = Stage::Waiting;
    // Empty where the file was found holding these pixels already.
    QByteArray bytes;
};

std::shared_ptr<IconWriteQueue::Encoding> IconWriteQueue::encodeAhead(const QString &folder, const QImage &icon)
{
    auto ahead = std::make_shared<Encoding>();
    iconWritePool().start([self = shared_from_this(), ahead, path = folder + u'/' + MirrorFolders::iconFileName, icon] {
        {
            QMutexLocker locker(&ahead->lock);
            if (ahead->stage != Encoding::Stage::Waiting)
                return;
            ahead->stage = Encoding::Stage::Encoding;
        }
        const PixelKey key = pixelKey(icon);
        const QByteArray bytes = iconKnownUnchanged(path, key.first) ? QByteArray() : self->iconFileBytes(icon, key);
        QMutexLocker locker(&ahead->lock);
        ahead->bytes = bytes;
        ahead->stage = Encoding::Stage::Done;
        ahead->finished.wakeAll();
    });
    return ahead;
}

QByteArray IconWriteQueue::bytesFor(Encoding &ahead, const QImage &icon, const PixelKey &key)
{
    QMutexLocker locker(&ahead.lock);
    if (ahead.stage == Encoding::Stage::Waiting) {
        ahead.stage = Encoding::Stage::Encoding;
        locker.unlock();
        const QByteArray bytes = iconFileBytes(icon, key);
        locker.relock();
        ahead.bytes = bytes;
        ahead.stage = Encoding::Stage::Done;
        ahead.finished.wakeAll();
        return bytes;
    }
    while (ahead.stage != Encoding::Stage::Done)
        ahead.finished.wait(&ahead.lock);
    if (!ahead.bytes.isEmpty())
        return ahead.bytes;
    // Unchanged when looked at, changed since.
    locker.unlock();
    return iconFileBytes(icon, key);
}

MirrorFolders::MirrorFolders(const QString &groupsDirectory, const QString &programPath)
    : m_groupsDirectory(QDir::cleanPath(groupsDirectory))
    , m_recordsFolder(QFileInfo(m_groupsDirectory).absolutePath() + QStringLiteral("/Made Entries"))
    , m_programPath(programPath)
{
}

QByteArray MirrorFolders::iconFileBytes(const QImage &icon)
{
    return PngEncoder::encode(icon);
}

std::optional<QString> MirrorFolders::readGroupID(const QString &folder)
{
    const std::optional<QByteArray> bytes = readSmallFile(joined(folder, groupIDFileName), groupIDFileLimit);
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text.trimmed();
}

bool MirrorFolders::entryExists(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

MirrorFolders::FolderRemoval MirrorFolders::removeFolder(const QString &path, const AppGroup *group) const
{
    const QFileInfo info(path);
    // The groups folder is opened without following a link: a folder reached through a linked
    // groups folder is the user's disk, and nothing goes from it. Nor does anything from a link
    // that stands in the folder's place.
    const int parent = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (parent < 0)
        return FolderRemoval::Failed;
    const auto closeParent = qScopeGuard([parent] { ::close(parent); });
    const QByteArray name = QFile::encodeName(info.fileName());
    struct stat status {};
    if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? FolderRemoval::Absent : FolderRemoval::Failed;
    if (!S_ISDIR(status.st_mode))
        return FolderRemoval::Failed;
    OwnRecord record(m_recordsFolder, path);
    if (!record.isOpen())
        return FolderRemoval::Failed;
    // A folder of an earlier version: with its group known, what that version wrote for it is
    // taken in; without, nothing in it is known to be the program's.
    const bool earlier = !record.existed();
    adoptEarlierEntries(record, path, group);
    // The identity goes last, and only once everything else of the program's went: a folder a
    // crash or a failure leaves half emptied is still known as the group's, and the next look
    // finishes it. Where the user's things stay, it goes all the same: the folder is theirs now,
    // and no later look takes it for a group's or removes more from it.
    const QByteArray identity = groupIDFileName.toUtf8();
    QList<QByteArray> names = record.recordedNames();
    names.removeAll(identity);
    const QHash<QByteArray, OwnRecord::Outcome> outcomes = record.remove(names);
    if (std::any_of(outcomes.cbegin(), outcomes.cend(), [](OwnRecord::Outcome outcome) { return outcome == OwnRecord::Outcome::Failed; }))
        return FolderRemoval::Failed;
    if (record.remove({identity}).value(identity) == OwnRecord::Outcome::Failed)
        return FolderRemoval::Failed;
    // Gone or the user's from now on, it is no longer a folder the groups folder's record names.
    const auto forgetFolder = [&] {
        OwnRecord groups(m_recordsFolder, info.absolutePath());
        if (groups.names(name))
            groups.forget({name});
    };
    if (::unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0) {
        record.discard();
        forgetFolder();
        return FolderRemoval::Removed;
    }
    // Removed a moment ago by another program of the user's: the work is done.
    if (errno == ENOENT) {
        record.discard();
        forgetFolder();
        return FolderRemoval::Absent;
    }
    if (errno != ENOTEMPTY && errno != EEXIST)
        return FolderRemoval::Failed;
    // Whatever is left is the user's, and the folder theirs from now on. In a folder of an
    // earlier version whose group is not known, or where only an icon file is left (its pixels
    // are not known here), what is left may be that version's own: nothing is said of it.
    record.discard();
    forgetFolder();
    if (earlier && !group)
        return FolderRemoval::LeftUnknown;
    if (earlier) {
        bool complete = false;
        const QList<QByteArray> left = OwnFiles::namesIn(record.folder(), &complete);
        if (complete && left == QList<QByteArray>{iconFileName.toUtf8()})
            return FolderRemoval::LeftUnknown;
    }
    return FolderRemoval::KeptUserEntries;
}

std::optional<MirrorFolders::FolderRemoval> MirrorFolders::removeUnfinishedFolder(const QString &name) const
{
    OwnRecord groups(m_recordsFolder, m_groupsDirectory);
    const QByteArray entry = QFile::encodeName(name);
    // Only a folder this program made, and not one the program on another display is building.
    if (!groups.isOurs(entry) || groups.heldByOtherProgram(entry))
        return std::nullopt;
    const FolderRemoval outcome = removeFolder(joined(m_groupsDirectory, name));
    if (outcome != FolderRemoval::Failed)
        groups.forget({entry});
    return outcome;
}

void MirrorFolders::forgetFinishedFolders() const
{
    OwnRecord groups(m_recordsFolder, m_groupsDirectory);
    QList<QByteArray> finished;
    for (const QByteArray &name : groups.recordedNames()) {
        if (readGroupID(joined(m_groupsDirectory, QFile::decodeName(name))))
            finished.append(name);
    }
    groups.forget(finished);
}

void MirrorFolders::finishCutShortWork() const
{
    for (const QString &name : OwnRecord::finishCutShort(m_recordsFolder))
        qCInfo(persistenceLogger, "Put back %s: it was set aside as a removal was cut short", qUtf8Printable(loggedText(name)));
}

void MirrorFolders::adoptEarlierEntries(OwnRecord &record, const QString &folder, const AppGroup *group,
                                        const std::optional<QImage> &icon) const
{
    // Nothing is known to be the program's in a folder of a group it does not know: a ".group_id",
    // an icon or a link of the user's looks the same as one an earlier version wrote. A folder
    // with a record takes only what stands under a name a killed run announced and never
    // confirmed, and only as below.
    const QList<QByteArray> maybe = record.maybeNames();
    if (!group || (record.existed() && maybe.isEmpty()))
        return;
    // The files a folder of an earlier version holds exactly as the program writes them for the
    // group: its identity, its manifest, its icon, its link to the program and each item's entry.
    // Nothing else is taken: a link or a web link of the user's stays theirs.
    QList<QByteArray> adopted;
    const auto holds = [&](const QString &name, const PlannedEntry &entry) {
        if (entryHolds(joined(folder, name), entry))
            adopted.append(QFile::encodeName(name));
    };
    holds(groupIDFileName, PlannedEntry{groupIDFileName, {}, ModelJson::uuidText(group->id).toUtf8()});
    holds(hiddenManifestFileName, PlannedEntry{hiddenManifestFileName, {}, hiddenManifestText.toUtf8()});
    // Encoded only for a folder that has an icon file to compare.
    if (icon && entryExists(joined(folder, iconFileName)))
        holds(iconFileName, PlannedEntry{iconFileName, {}, iconFileBytes(*icon)});
    QString alias;
    for (const PlannedEntry &entry : plan(*group, [](const QString &) { return false; }, &alias, true))
        holds(entry.name, entry);
    if (record.existed()) {
        // Where the record is kept, only a maybe is taken back, and not the icon: its pixels
        // depend on what the group looked like when it was written.
        adopted.removeIf([&](const QByteArray &name) { return !maybe.contains(name) || name == iconFileName.toUtf8(); });
    }
    record.adopt(adopted);
}

bool MirrorFolders::indexIsCurrent() const
{
    // A folder changed a moment ago could change again without a new stamp, so its listing is
    // read anew, but not more than once in a pass of the event loop.
    const std::optional<FolderIndex> &index = *m_index;
    // While a folder is written beside, the groups folder changes by the program's own hand: the
    // index answers as it was until the build is noted in it (or it is read anew after a failure).
    if (index && !index->stale && m_writes->writingBeside)
        return true;
    return index && !index->stale
        && (index->groupsFolder.settledAt(index->takenNanoseconds) || (index->withinPass && *index->withinPass)
            || (index->ownChange && !index->groupsFolder.settledAt(FileStamp::nowNanoseconds())))
        && FileStamp::of(m_groupsDirectory) == index->groupsFolder;
}

void MirrorFolders::noteBuiltFolder(const QString &uuid, const QString &target) const
{
    std::optional<FolderIndex> &index = *m_index;
    const auto owner = index ? index->byGroupID.constFind(uuid) : QHash<QString, OwnedFolder>::const_iterator();
    // Another folder answering for the group comes first or last by name: the listing says which.
    if (!index || (owner != index->byGroupID.cend() && owner->path != target)) {
        forgetFolderIndex();
        return;
    }
    index->byGroupID.insert(uuid, OwnedFolder{target, FileStamp::of(joined(target, groupIDFileName))});
    index->groupsFolder = FileStamp::of(m_groupsDirectory);
    index->ownChange = true;
}

std::optional<QString> MirrorFolders::folderOwnedBy(const QString &uuid) const
{
    std::optional<FolderIndex> &current = *m_index;
    if (indexIsCurrent()) {
        const auto found = current->byGroupID.constFind(uuid);
        if (found == current->byGroupID.cend())
            return std::nullopt;
        if (FileStamp::of(joined(found->path, groupIDFileName)) == found->groupIDFile)
            return found->path;
    }
    // Taken before the listing, so that a change made while the folder is read shows next time.
    FolderIndex index{FileStamp::of(m_groupsDirectory), FileStamp::nowNanoseconds(), {}, {}, false, false, {}, {}};
    if (QCoreApplication *application = QCoreApplication::instance();
        application && QThread::currentThread() == application->thread()) {
        index.withinPass = std::make_shared<bool>(true);
        QMetaObject::invokeMethod(application, [pass = index.withinPass] { *pass = false; }, Qt::QueuedConnection);
    }
    if (!index.groupsFolder.exists) {
        current.reset();
        return std::nullopt;
    }
    // A batch of folders being built changes the groups folder between every two lookups: what the
    // unchanged entries say is kept rather than read again each time.
    QHash<QString, std::pair<FileStamp, QString>> known;
    if (current)
        known = std::move(current->owners);
    const QStringList entries =
        QDir(m_groupsDirectory).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        const QString path = joined(m_groupsDirectory, entry);
        const FileStamp stamp = FileStamp::of(joined(path, groupIDFileName));
        if (!stamp.exists)
            continue;
        const auto remembered = known.constFind(path);
        const std::optional<QString> owner =
            remembered != known.cend() && remembered->first == stamp ? remembered->second : readGroupID(path);
        if (!owner)
            continue;
        // A file changed a moment ago could change again without a new stamp: it is read next time.
        if (stamp.settledAt(index.takenNanoseconds))
            index.owners.insert(path, {stamp, *owner});
        if (!index.byGroupID.contains(*owner))
            index.byGroupID.insert(*owner, OwnedFolder{path, stamp});
    }
    current = std::move(index);
    const auto found = current->byGroupID.constFind(uuid);
    return found == current->byGroupID.cend() ? std::nullopt : std::optional<QString>(found->path);
}

std::optional<QUrl> MirrorFolders::findMirrorFolder(const AppGroup &group) const
{
    const QString uuid = ModelJson::uuidText(group.id);
    if (const std::optional<QString> owned = folderOwnedBy(uuid))
        return directoryURL(*owned);
    if (!*m_index)
        return std::nullopt;
    const QString fallback = joined(m_groupsDirectory, uuid);
    if (entryExists(fallback))
        return directoryURL(fallback);
    return std::nullopt;
}

QString MirrorFolders::uniqueMirrorFolderName(const QString &name, const AppGroup &group) const
{
    const QString uuid = ModelJson::uuidText(group.id);
    const QString base = replacingLeadingDots(trimmingSpacesAndTabs(replacingSeparators(name)));
    if (base.isEmpty())
        return uuid;
    const auto candidate = [&base](qint64 n) { return n < 2 ? base : QStringLiteral("%1 %2").arg(base).arg(n); };
    const auto isFree = [&](const QString &candidate) {
        const QString path = joined(m_groupsDirectory, candidate);
        return !entryExists(path) || readGroupID(path) == uuid;
    };
    // Many groups of one name (a batch of them synced at once) would each try every name the
    // others took before it: while the folders are as this object last saw them, the numbering
    // goes on from where the last group of the name found its own. The names below that are
    // all taken, and only the group's own folder among them can be its answer.
    qint64 first = 1;
    std::optional<FolderIndex> &index = *m_index;
    const bool known = index && indexIsCurrent();
    if (known) {
        if (const auto next = index->nameNumbers.constFind(base); next != index->nameNumbers.cend()) {
            if (const auto own = index->byGroupID.constFind(uuid); own != index->byGroupID.cend()) {
                const QString ownName = lastPathComponent(own->path);
                bool numbered = false;
                const qint64 number = ownName == base ? 1
                    : ownName.startsWith(base + u' ') ? ownName.mid(base.size() + 1).toLongLong(&numbered) : 0;
                if ((number == 1 || (numbered && number >= 2)) && number < *next && candidate(number) == ownName)
                    return ownName;
            }
            first = *next;
        }
    }
    for (qint64 n = first;; n = n < 2 ? 2 : n + 1) {
        const QString name = candidate(n);
        if (isFree(name)) {
            if (known)
                index->nameNumbers.insert(base, n);
            return name;
        }
    }
}

QUrl MirrorFolders::mirrorFolderURL(const AppGroup &group) const
{
    if (std::optional<QUrl> found = findMirrorFolder(group))
        return *found;
    return directoryURL(joined(m_groupsDirectory, uniqueMirrorFolderName(group.name, group)));
}

void MirrorFolders::createMirrorFolder(const AppGroup &group, SkinManager *skinManager, Completion completion,
                                       std::shared_ptr<IconWriteQueue> icons) const
{
    FolderIconPainter *painter = FolderIconPainter::installed();
    if (!painter) {
        createMirrorFolderNow(group, skinManager, std::move(completion), std::move(icons));
        return;
    }
    painter->whenPicturesDrawn(group, skinManager,
                               [self = *this, group, skins = painter->keep(skinManager), completion = std::move(completion), icons]() mutable {
                                   self.createMirrorFolderNow(group, skins(), std::move(completion), std::move(icons));
                               });
}

void MirrorFolders::createMirrorFolderNow(const AppGroup &group, SkinManager *skinManager, Completion completion,
                                          std::shared_ptr<IconWriteQueue> icons) const
{
    // One folder at a time: the next folder's name is chosen once the folders before it stand.
    // The skins are asked for again when its turn comes, if they are still there.
    std::function<SkinManager *()> skins = FolderIconPainter::keepWithInstalled(skinManager);
    auto start = [self = *this, group, skins, completion = std::move(completion), icons = std::move(icons)]() mutable {
        self.buildFolder(group, skins(), [writes = self.m_writes, completion = std::move(completion)](std::optional<QString> error) {
            if (completion)
                completion(std::move(error));
            writes->busy = false;
            if (!writes->waiting.isEmpty())
                writes->waiting.takeFirst()();
        }, std::move(icons));
    };
    if (m_writes->busy) {
        m_writes->waiting.append(std::move(start));
        return;
    }
    start();
}

void MirrorFolders::buildFolder(const AppGroup &group, SkinManager *skinManager, Completion completion,
                                std::shared_ptr<IconWriteQueue> icons, int attempt) const
{
    m_writes->busy = true;
    const QString target = joined(m_groupsDirectory, uniqueMirrorFolderName(group.name, group));
    const std::optional<QUrl> existing = findMirrorFolder(group);
    const QString existingPath = existing ? pathOfDirectoryURL(*existing) : QString();
    // The skins are asked for again once the Dock has answered, if they are still there.
    std::function<SkinManager *()> skins = FolderIconPainter::keepWithInstalled(skinManager);

    if (!existing || lastPathComponent(existingPath) == lastPathComponent(target) || !entryExists(existingPath)) {
        const bool indexHeld = indexIsCurrent();
        rebuild(group, target, skinManager, icons,
                [self = *this, group, skins, icons, uuid = ModelJson::uuidText(group.id), target, indexHeld, attempt,
                 completion = std::move(completion)](std::optional<QString> error) mutable {
            if (error || !indexHeld)
                self.forgetFolderIndex();
            // The name was free when chosen, and another group's folder took it meanwhile (the
            // program on another display making a group of the same name): a name is chosen again.
            if (const std::optional<QString> owner = error && attempt < 3 ? readGroupID(target) : std::nullopt; owner && *owner != uuid) {
                qCInfo(persistenceLogger, "Chose another name than %s: another group's folder took it", qUtf8Printable(loggedText(target)));
                return self.buildFolder(group, skins(), std::move(completion), std::move(icons), attempt + 1);
            }
            if (!error && indexHeld)
                self.noteBuiltFolder(uuid, target);
            completion(std::move(error));
        });
        return;
    }

    // Renamed: the tile points at the new path first, where it stands among the others, so that the
    // Dock, once it restarts, never shows a tile for a path that moved. The restart waits for the
    // sync's own write of the new tile: one sync, one restart.
    const QUrl from = *existing;
    const QUrl to = QUrl::fromLocalFile(target);
    DockService::moveFolderTile(from, to, [self = *this, group, target, existingPath, from, to, skins, icons,
                                           completion = std::move(completion)](bool moved) mutable {
        if (!moved)
            return completion(QStringLiteral("The Dock item of “%1” could not be moved, so the folder was not renamed")
                                  .arg(existingPath));
        // A folder that stays where it is takes its tile back.
        const auto keepOldFolder = [&](const QString &error) {
            if (entryExists(existingPath) && !entryExists(target))
                DockService::moveFolderTile(to, from, nullptr);
            completion(error);
        };
        // Another program of the user's may have made this same move a moment ago: the group's own
        // folder at the new name, and none left at the old, is the work done.
        const auto movedAlready = [&] {
            return !entryExists(existingPath) && readGroupID(target) == ModelJson::uuidText(group.id);
        };
        // Moved only where nothing stands, never over an empty folder that appeared meanwhile.
        if (::renameat2(AT_FDCWD, QFile::encodeName(existingPath).constData(), AT_FDCWD, QFile::encodeName(target).constData(),
                        RENAME_NOREPLACE) != 0) {
            const int error = errno;
            if (movedAlready())
                qCInfo(persistenceLogger, "Found %s moved to %s already", qUtf8Printable(loggedText(existingPath)),
                       qUtf8Printable(loggedText(target)));
            else if (error == EEXIST)
                return keepOldFolder(QStringLiteral("Cannot move “%1” to “%2”: the destination exists").arg(existingPath, target));
            else
                return keepOldFolder(QStringLiteral("Cannot move “%1” to “%2”: %3").arg(existingPath, target, systemErrorText(error)));
        }
        self.rebuild(group, target, skins(), std::move(icons), std::move(completion));
    });
}

bool MirrorFolders::isBuilding() const
{
    return m_writes->busy;
}

QList<MirrorFolders::PlannedEntry> MirrorFolders::plan(const AppGroup &group, const std::function<bool(const QString &)> &kept,
                                                      QString *alias, bool evenMissing) const
{
    QList<PlannedEntry> planned;
    QSet<QString> names;
    NextNumbers nextNumbers;
    const auto taken = [&names, &kept](const QString &name) { return names.contains(name) || kept(name); };
    const auto add = [&](PlannedEntry entry) {
        names.insert(entry.name);
        planned.append(std::move(entry));
    };
    for (const AppItem &item : group.apps) {
        const QUrl location = item.itemURL();
        if (location.isLocalFile()) {
            // An empty path (a damaged groups file) names no file, though its URL is the working folder.
            if (item.path.isEmpty())
                continue;
            const QString source = QFileInfo(location.toLocalFile()).absoluteFilePath();
            if (!evenMissing && !entryExists(source))
                continue;
            add(PlannedEntry{uniqueShortcutFileName(item, taken, std::nullopt, &nextNumbers), source, {}});
        } else {
            const QUrl link(item.path, QUrl::TolerantMode);
            if (!link.isValid() || link.scheme().isEmpty())
                continue;
            add(PlannedEntry{uniqueShortcutFileName(item, taken, QStringLiteral("webloc"), &nextNumbers), {}, weblocBytes(link)});
        }
    }
    alias->clear();
    if (!m_programPath.isEmpty() && entryExists(m_programPath)) {
        *alias = uniqueFileName(programAliasName, taken);
        add(PlannedEntry{*alias, QFileInfo(m_programPath).absoluteFilePath(), {}});
    }
    return planned;
}

void MirrorFolders::rebuild(const AppGroup &group, const QString &target, SkinManager *skinManager,
                            std::shared_ptr<IconWriteQueue> icons, Completion completion) const
{
    // The icon is drawn here, where the painter's pictures are; the folder's entries and their
    // records are written on the folders' own thread, and the answer comes back on this one.
    const std::optional<QImage> icon = composeIcon(group, skinManager, icons.get());
    m_writes->writingBeside = true;
    completion = [writes = m_writes, completion = std::move(completion)](std::optional<QString> error) {
        writes->writingBeside = false;
        completion(std::move(error));
    };
    // Encoded on the icon threads while the folders before it are written.
    std::shared_ptr<IconWriteQueue::Encoding> ahead = icon && icons ? icons->encodeAhead(target, *icon) : nullptr;
    folderWritePool().start([groups = m_groupsDirectory, program = m_programPath, group, target, icon, ahead = std::move(ahead),
                             icons = std::move(icons), completion = std::move(completion)]() mutable {
        // A writer of its own: nothing this object shares with the main thread is touched here.
        const MirrorFolders writer(groups, program);
        const std::optional<QString> error = writer.writeEntries(group, target, icon, icons.get(), ahead.get());
        // A program on its way out has nobody left to tell.
        if (!QCoreApplication::instance())
            return;
        post([target, icon, error, completion = std::move(completion)] {
            if (!error && icon)
                hideIconFile(target);
            completion(error);
        });
    });
}

std::optional<QString> MirrorFolders::writeEntries(const AppGroup &group, const QString &target, const std::optional<QImage> &icon,
                                                   IconWriteQueue *icons, IconWriteQueue::Encoding *ahead) const
{
    bool made = false;
    struct stat status {};
    if (::lstat(QFile::encodeName(target).constData(), &status) != 0) {
        // Made here only where nothing stands: the same folder made a moment ago by another
        // program of the user's is the one it builds, its record kept. The folder's record is
        // written once it is built: one a kill leaves before that is the user's, and the next
        // sync of its group takes in exactly what it holds of the group's, as an earlier version's.
        // The groups folder is made first only where it is missing.
        const auto makeFolder = [&] { return ::mkdir(QFile::encodeName(target).constData(), 0777) == 0; };
        made = makeFolder() || (errno == ENOENT && QDir().mkpath(m_groupsDirectory) && makeFolder());
        if (!made && errno != EEXIST)
            return QStringLiteral("Cannot create the folder “%1”").arg(target);
    }
    // Clearing through a link would delete the entries of whatever folder it points at.
    if (::lstat(QFile::encodeName(target).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return QStringLiteral("“%1” is not a folder").arg(target);
    // Entries are judged and removed through the folder's descriptor: neither the folder swapped
    // for a link after this look nor a link inside it can send a removal elsewhere. The user may
    // open the folder from its Dock tile and keep documents, folders and links in it: only what the
    // folder's record names goes from it, and the rest keeps its place (and its name, which no
    // item's entry takes).
    OwnRecord record(m_recordsFolder, target);
    if (!record.isOpen())
        return QStringLiteral("Cannot open the folder “%1”: %2").arg(target, errnoText());
    // The record is written once for the folder's work: with the announcement of what is made
    // where a record stands, and as the work ends.
    record.holdWrites();
    if (made)
        record.startAfresh();
    else
        adoptEarlierEntries(record, target, &group, icon);
    // The icon file goes with the folder's other entries, unless it holds these pixels already.
    const QString iconPath = joined(target, iconFileName);
    const IconWriteQueue::PixelKey key = icon ? IconWriteQueue::pixelKey(*icon) : IconWriteQueue::PixelKey{};
    std::optional<PlannedEntry> iconEntry;
    if (icon && !iconKnownUnchanged(iconPath, key.first)) {
        const QByteArray bytes = ahead && icons ? icons->bytesFor(*ahead, *icon, key)
            : icons                             ? icons->iconFileBytes(*icon, key)
                                                : iconFileBytes(*icon);
        iconEntry = PlannedEntry{iconFileName, {}, bytes};
    }
    // What the user saves under a planned name while the folder is written keeps that name: the
    // folder is planned again around it, a few times at most.
    for (int pass = 0; pass < 3; ++pass) {
        bool collided = false;
        if (std::optional<QString> error = writeEntriesOnce(group, target, record, iconEntry, &collided))
            return error;
        if (!collided)
            break;
    }
    if (iconEntry && (record.isOurs(iconFileName.toUtf8()) || entryHolds(iconPath, *iconEntry)))
        noteIconFile(iconPath, key.first);
    // What could not be recorded (logged as it failed) stays as made, counted as the user's.
    record.writeHeld();
    return std::nullopt;
}

std::optional<QString> MirrorFolders::writeEntriesOnce(const AppGroup &group, const QString &target, OwnRecord &record,
                                                       const std::optional<PlannedEntry> &icon, bool *collided) const
{
    bool complete = false;
    const QList<QByteArray> listed = OwnFiles::namesIn(record.folder(), &complete);
    if (!complete)
        return QStringLiteral("Cannot list “%1”").arg(target);
    QSet<QString> ours;
    QSet<QString> kept;
    // What the program on another display is making here a moment ago is neither this one's to
    // take away nor the user's to plan around: where it holds what this one would write, it is done.
    QSet<QString> othersWork;
    for (const QByteArray &entry : listed) {
        if (record.isOurs(entry))
            ours.insert(QFile::decodeName(entry));
        else if (record.heldByOtherProgram(entry))
            othersWork.insert(QFile::decodeName(entry));
        else
            kept.insert(QFile::decodeName(entry));
    }

    QString alias;
    const QList<PlannedEntry> planned = plan(group, [&kept](const QString &name) { return kept.contains(name); }, &alias);
    // The folder's own files: written when absent or changed, and only over the program's own.
    const QString groupID = ModelJson::uuidText(group.id);
    const QList<PlannedEntry> folderFiles{PlannedEntry{groupIDFileName, {}, groupID.toUtf8()},
                                          PlannedEntry{hiddenManifestFileName, {}, hiddenManifestText.toUtf8()}};
    if (kept.contains(groupIDFileName) && readGroupID(target) != groupID)
        return QStringLiteral("Cannot write %1: Kestrowan did not write the one there").arg(groupIDFileName);
    if (othersWork.contains(groupIDFileName) && readGroupID(target) != groupID)
        return QStringLiteral("Cannot write %1: the folder is being made for another group").arg(groupIDFileName);

    // Entries that hold what they would be written with stay as they are: removing and making
    // hundreds of files again on every sync is most of a sync's time in the file system.
    QSet<QString> plannedNames{groupIDFileName, hiddenManifestFileName, iconFileName};
    for (const PlannedEntry &entry : planned)
        plannedNames.insert(entry.name);
    QList<QByteArray> removals;
    for (const QString &entry : std::as_const(ours)) {
        if (!plannedNames.contains(entry))
            removals.append(QFile::encodeName(entry));
    }
    QSet<const PlannedEntry *> writes;
    const auto judge = [&](const PlannedEntry &entry) {
        // A manifest or an identity of the user's stays as they wrote it.
        if (kept.contains(entry.name))
            return;
        if (othersWork.contains(entry.name)) {
            if (!entryHolds(joined(target, entry.name), entry))
                qCInfo(persistenceLogger, "Left %s in %s as it is: another Kestrowan is writing it",
                       qUtf8Printable(loggedText(entry.name)), qUtf8Printable(loggedText(target)));
            return;
        }
        if (ours.contains(entry.name) && entryHolds(joined(target, entry.name), entry))
            return;
        if (ours.contains(entry.name))
            removals.append(QFile::encodeName(entry.name));
        writes.insert(&entry);
    };
    for (const PlannedEntry &file : folderFiles)
        judge(file);
    for (const PlannedEntry &entry : planned)
        judge(entry);
    if (icon && kept.contains(iconFileName) && !entryHolds(joined(target, iconFileName), *icon))
        qCInfo(persistenceLogger, "Left the icon file of %s as it is: Kestrowan did not write it", qUtf8Printable(loggedText(target)));
    if (icon)
        judge(*icon);
    // The names go into the record before anything is made under them, in the same write as the
    // names of what goes set aside.
    QList<QByteArray> announced;
    for (const PlannedEntry *entry : std::as_const(writes))
        announced.append(QFile::encodeName(entry->name));
    if (!announced.isEmpty() && !record.announce(announced))
        return QStringLiteral("Cannot record what is written in “%1”").arg(target);
    // Only what this writer made goes into the record as made; every other name it announced (one
    // it could not take, or never came to after a failure) is withdrawn, and what stands there is
    // not taken for the program's.
    QList<QByteArray> created;
    const auto settle = qScopeGuard([&] {
        record.noteMade(created);
        const QSet<QByteArray> made(created.cbegin(), created.cend());
        QList<QByteArray> unmade;
        for (const QByteArray &name : std::as_const(announced)) {
            if (!made.contains(name))
                unmade.append(name);
        }
        record.withdraw(unmade);
    });
    // What goes, goes first, each as what the record says the program made there, judged as it is
    // set aside: a document the user saved over it meanwhile stays, and its name is not written.
    const auto outcomes = record.remove(removals);
    const QByteArray iconName = iconFileName.toUtf8();
    for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it) {
        // The folder icon is decoration: a failure to replace it never fails the folder, and is
        // tried again next time.
        if (it.value() == OwnRecord::Outcome::Failed && it.key() != iconName)
            return QStringLiteral("Cannot remove “%1” from “%2”").arg(QFile::decodeName(it.key()), target);
    }
    for (auto it = writes.begin(); it != writes.end();) {
        const QByteArray name = QFile::encodeName((*it)->name);
        const OwnRecord::Outcome outcome = outcomes.value(name, OwnRecord::Outcome::Removed);
        if (outcome == OwnRecord::Outcome::NotOurs)
            *collided = true;
        if (outcome == OwnRecord::Outcome::NotOurs || outcome == OwnRecord::Outcome::Failed)
            it = writes.erase(it);
        else
            ++it;
    }
    if (!record.writeAnnounced())
        return QStringLiteral("Cannot record what is written in “%1”").arg(target);
    const SafeWrite::TemporaryNaming naming = [&record](const QByteArray &temporary) { return record.announceTemporary(temporary); };
    // Made only where nothing stands. A name taken meanwhile by exactly what it was to hold is
    // work another program of the user's did; by anything else, the user's, planned around.
    const auto make = [&](const PlannedEntry &entry) -> std::optional<QString> {
        if (!writes.contains(&entry))
            return std::nullopt;
        const QString path = joined(target, entry.name);
        int error = 0;
        std::optional<QString> failure = entry.linkTarget.isEmpty() ? writeWebloc(entry.fileBytes, path, naming, &error)
                                                                    : writeAliasFile(entry.linkTarget, path, &error);
        if (!failure) {
            created.append(QFile::encodeName(entry.name));
            return std::nullopt;
        }
        if (error != EEXIST)
            return failure;
        if (!entryHolds(path, entry)) {
            qCInfo(persistenceLogger, "Left %s in %s as it is: it appeared as the folder was written",
                   qUtf8Printable(loggedText(entry.name)), qUtf8Printable(loggedText(target)));
            *collided = true;
        }
        return std::nullopt;
    };
    // The identity first: a folder a kill leaves half built is still known as the group's.
    if (std::optional<QString> error = make(folderFiles.first()))
        return QStringLiteral("Cannot write %1: %2").arg(groupIDFileName, *error);
    const auto makeIcon = [&] {
        if (!icon)
            return;
        if (std::optional<QString> error = make(*icon))
            qCCritical(persistenceLogger, "Failed to write the icon file of %s: %s", qUtf8Printable(loggedText(target)),
                       qUtf8Printable(loggedText(*error)));
    };
    for (const PlannedEntry &entry : planned) {
        // The icon is written where the order of the folder's writing puts it: after the items.
        if (entry.name == alias)
            makeIcon();
        if (std::optional<QString> error = make(entry))
            return error;
        // The program's link to itself is touched on every sync, only while it is the program's.
        const QByteArray name = QFile::encodeName(entry.name);
        if (entry.name == alias && (created.contains(name) || record.isOurs(name))) {
            refreshAppAliasTimestamps(joined(target, entry.name));
            if (!created.contains(name))
                created.append(name);
        }
    }
    if (alias.isEmpty())
        makeIcon();
    if (std::optional<QString> error = make(folderFiles.last()))
        qCCritical(persistenceLogger, "Failed to write .hidden manifest: %s", qUtf8Printable(loggedText(*error)));
    return std::nullopt;
}

std::optional<QImage> MirrorFolders::composeIcon(const AppGroup &group, SkinManager *skinManager, IconWriteQueue *icons) const
{
    const FolderIconPainter *painter = FolderIconPainter::installed();
    if (!painter)
        return std::nullopt;
    return painter->paint(group, skinManager, icons ? icons->drawnIcons(*painter) : nullptr);
}

bool MirrorFolders::entryHolds(const QString &path, const PlannedEntry &entry)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    if (!entry.linkTarget.isEmpty()) {
        if (!S_ISLNK(status.st_mode))
            return false;
        const QByteArray wanted = QFile::encodeName(entry.linkTarget);
        QByteArray held(wanted.size() + 1, Qt::Uninitialized);
        const ssize_t length = ::readlink(QFile::encodeName(path).constData(), held.data(), size_t(held.size()));
        return length == wanted.size() && held.left(length) == wanted;
    }
    return S_ISREG(status.st_mode) && qint64(status.st_size) == entry.fileBytes.size()
           && readSmallFile(path, entry.fileBytes.size()) == entry.fileBytes;
}

MirrorFolders::RemovedFolder MirrorFolders::removeMirrorFolder(const AppGroup &group) const
{
    const std::optional<QUrl> found = findMirrorFolder(group);
    const QString path = found ? pathOfDirectoryURL(*found) : joined(m_groupsDirectory, ModelJson::uuidText(group.id));
    // Known, the group tells which entries of a folder an earlier version made are its own.
    const FolderRemoval outcome = removeFolder(path, &group);
    forgetFolderIndex();
    return {path, outcome};
}

QString MirrorFolders::shortcutBaseName(const QString &name, const std::optional<QString> &extension)
{
    QString base = replacingLeadingDots(replacingSeparators(name).trimmed());
    if (base.isEmpty())
        base = QStringLiteral("Shortcut");
    if (!extension)
        return base;
    return splitExtension(base).first + u'.' + *extension;
}

QString MirrorFolders::uniqueShortcutFileName(const AppItem &item, const QString &folder,
                                              const std::optional<QString> &extension)
{
    return uniqueShortcutFileName(item, [&folder](const QString &name) { return entryExists(joined(folder, name)); }, extension);
}

QString MirrorFolders::uniqueShortcutFileName(const AppItem &item, const std::function<bool(const QString &)> &taken,
                                              const std::optional<QString> &extension, NextNumbers *next)
{
    QString displayName = item.itemURL().isLocalFile() ? lastPathComponent(item.path) : item.name;
    if (displayName.isEmpty())
        displayName = item.name;
    const QString base = shortcutBaseName(displayName, extension);
    if (!taken(base))
        return base;
    const auto [stem, baseExtension] = splitExtension(base);
    for (qint64 n = next ? next->value(base, 2) : 2;; ++n) {
        QString candidate = QStringLiteral("%1 %2").arg(stem).arg(n);
        if (!baseExtension.isEmpty())
            candidate += u'.' + baseExtension;
        if (!taken(candidate)) {
            if (next)
                next->insert(base, n + 1);
            return candidate;
        }
    }
}

QString MirrorFolders::uniqueFileName(const QString &name, const QString &folder)
{
    return uniqueFileName(name, [&folder](const QString &candidate) { return entryExists(joined(folder, candidate)); });
}

QString MirrorFolders::uniqueFileName(const QString &name, const std::function<bool(const QString &)> &taken)
{
    const QString base = shortcutBaseName(name, std::nullopt);
    if (!taken(base))
        return base;
    for (qint64 n = 2;; ++n) {
        const QString candidate = QStringLiteral("%1 %2").arg(base).arg(n);
        if (!taken(candidate))
            return candidate;
    }
}

std::optional<QString> MirrorFolders::writeAliasFile(const QString &source, const QString &destination, int *error)
{
    const QString target = QFileInfo(source).absoluteFilePath();
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(destination).constData()) != 0) {
        if (error)
            *error = errno;
        return QStringLiteral("Cannot create the alias “%1”: %2").arg(lastPathComponent(destination), errnoText());
    }
    return std::nullopt;
}

QByteArray MirrorFolders::weblocBytes(const QUrl &link)
{
    return PropertyList::toXml(QVariantMap{{QStringLiteral("URL"), link.toString(QUrl::FullyEncoded)}});
}

std::optional<QString> MirrorFolders::writeWeblocFile(const QUrl &link, const QString &destination)
{
    if (std::optional<QString> error = writeAtomically(destination, weblocBytes(link)))
        return QStringLiteral("Cannot write “%1”: %2").arg(lastPathComponent(destination), *error);
    return std::nullopt;
}

std::optional<QString> MirrorFolders::writeWebloc(const QByteArray &bytes, const QString &destination,
                                                  const SafeWrite::TemporaryNaming &naming, int *error)
{
    if (std::optional<QString> failure = createAtomically(destination, bytes, naming, error))
        return QStringLiteral("Cannot write “%1”: %2").arg(lastPathComponent(destination), *failure);
    return std::nullopt;
}

void MirrorFolders::refreshAppAliasTimestamps(const QString &alias)
{
    // The alias is a symbolic link here: its own times are set, never those of the program it names.
    if (::utimensat(AT_FDCWD, QFile::encodeName(alias).constData(), nullptr, AT_SYMLINK_NOFOLLOW) != 0)
        qCCritical(persistenceLogger, "Failed to update mirror shortcut timestamps: %s", qUtf8Printable(errnoText()));
    runTouch(alias);
}

void MirrorFolders::hideIconFile(const QString &folder)
{
    const QString icon = joined(folder, iconFileName);
    if (!entryExists(icon))
        return;
    // This file system has no hidden attribute of its own; folder views hide "Icon\r" through the
    // ".hidden" manifest, and the flag is asked for all the same where a chflags exists.
    runChflagsHidden(icon);
}

void MirrorFolders::runChflagsHidden(const QString &file)
{
    AsyncProcess::run(QStringLiteral("/usr/bin/chflags"), {QStringLiteral("hidden"), file}, false, [](AsyncProcess::Result) {});
}

void MirrorFolders::runTouch(const QString &file)
{
    // What "touch -h" does, without a process for every folder of a sync: the alias is a symbolic
    // link, and touching through it would change the program's file.
    (void)::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), nullptr, AT_SYMLINK_NOFOLLOW);
}
