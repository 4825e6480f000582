#include "Kestrowan/groups/DroppedItemKeeper.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/logging/SystemErrorText.h"
#include "Platform/safewrite/OwnRecord.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUuid>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Progress is told this often at most (in bytes copied), so a large copy does not flood the window.
constexpr qint64 progressStepBytes = 4 << 20;

enum class Kind { Missing, File, Folder, Link, Other };

Kind kindOf(const QString &path, qint64 *size = nullptr)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return Kind::Missing;
    if (size)
        *size = S_ISREG(info.st_mode) ? qint64(info.st_size) : 0;
    if (S_ISLNK(info.st_mode))
        return Kind::Link;
    if (S_ISREG(info.st_mode))
        return Kind::File;
    if (S_ISDIR(info.st_mode))
        return Kind::Folder;
    return Kind::Other;
}

QStringList childrenOf(const QString &folder)
{
    // Names only: nothing here follows a link or opens an entry.
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// The bytes of the regular files of a tree, links not followed; stops counting past `limit`.
qint64 measure(const QString &path, qint64 limit, int depth = 0)
{
    qint64 size = 0;
    const Kind kind = kindOf(path, &size);
    if (kind != Kind::Folder || depth >= DroppedItemKeeper::maximumDepth)
        return size;
    qint64 total = 0;
    for (const QString &name : childrenOf(path)) {
        total += measure(path + u'/' + name, limit - total, depth + 1);
        if (total > limit)
            break;
    }
    return total;
}

struct CopyRun {
    const std::atomic_bool &cancelled;
    std::function<void(qint64)> report;
    qint64 copied = 0;
    qint64 lastReport = 0;
    // Why the copy failed: the system's error number (0 when there is none) and its text.
    int error = 0;
    QString failure;

    bool fail(const QString &reason, int number)
    {
        error = number;
        failure = reason;
        return false;
    }
};

QString errorText(int error)
{
    return systemErrorText(error);
}

bool copyFile(const QString &from, const QString &to, CopyRun &run)
{
    const qint64 before = run.copied;
    // Flushed, synced and checked, so that a full disk fails the copy instead of keeping a short one:
    // the copy is all the user keeps once the temporary original is gone.
    int error = 0;
    const std::optional<QString> failure = SafeWrite::copyFile(
        from, to, SafeWrite::Existing::Refuse, SafeWrite::Durability::Disk,
        [&run, before](qint64 copied) {
            if (run.cancelled.load())
                return false;
            run.copied = before + copied;
            if (run.copied - run.lastReport >= progressStepBytes) {
                run.lastReport = run.copied;
                run.report(run.copied);
            }
            return true;
        },
        &error);
    return !failure || run.fail(*failure, error);
}

bool makeFolder(const QString &path, CopyRun &run)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
        return true;
    const int error = errno;
    return run.fail(QStringLiteral("cannot create %1: %2").arg(path, errorText(error)), error);
}

bool copyTree(const QString &from, const QString &to, CopyRun &run, int depth = 0)
{
    if (run.cancelled.load())
        return false;
    switch (kindOf(from)) {
    case Kind::Missing:
        return run.fail(QStringLiteral("%1 is gone").arg(from), ENOENT);
    case Kind::File:
        return copyFile(from, to, run);
    case Kind::Link: {
        // The same link: its text as it stands, pointing where it pointed, never read through.
        QByteArray text(4096, Qt::Uninitialized);
        const ssize_t length = ::readlink(QFile::encodeName(from).constData(), text.data(), size_t(text.size()));
        if (length < 0 || length >= text.size())
            return true;
        text.truncate(qsizetype(length));
        if (::symlink(text.constData(), QFile::encodeName(to).constData()) == 0)
            return true;
        const int error = errno;
        return run.fail(QStringLiteral("cannot create the link %1: %2").arg(to, errorText(error)), error);
    }
    case Kind::Folder:
        if (!makeFolder(to, run))
            return false;
        if (depth >= DroppedItemKeeper::maximumDepth)
            return true;
        for (const QString &name : childrenOf(from)) {
            if (!copyTree(from + u'/' + name, to + u'/' + name, run, depth + 1))
                return false;
        }
        return true;
    case Kind::Other:
        // A pipe, socket or device: reading one could wait for ever, and it is no document.
        return true;
    }
    return false;
}

// What the user reads when a drop could not be kept: the item's name and why.
QString copyFailureText(const QString &name, int error, const QString &failure)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return localizedFormat(QStringLiteral("editor.dropNoRoom"), {name});
    case EROFS:
    case EACCES:
    case EPERM:
        return localizedFormat(QStringLiteral("editor.dropNotWritable"), {name});
    default:
        return localizedFormat(QStringLiteral("editor.dropCopyFailed"), {name, failure});
    }
}

// Where the record of what the program copied into `folder` is kept.
QString recordsFolderFor(const QString &folder)
{
    return QFileInfo(folder).absolutePath() + QStringLiteral("/Made Entries");
}

// The names of the tree at `path` (itself included), as `prefix` and below, links not followed.
void collectNames(const QString &path, const QByteArray &prefix, QList<QByteArray> *names, int depth = 0)
{
    names->append(prefix);
    if (kindOf(path) != Kind::Folder || depth >= DroppedItemKeeper::maximumDepth)
        return;
    for (const QString &name : childrenOf(path))
        collectNames(path + u'/' + name, prefix + '/' + QFile::encodeName(name), names, depth + 1);
}

enum class KeptCopyRemoval { Removed, NotRecorded, KeptForUser };

// Removes a copy of ours from `folder`, judged entry by entry by the folder's record: a document
// the user saved in the copy stays, and so does every folder on its way. Nothing the record does
// not name is touched, and nothing at all when the folder is a link.
KeptCopyRemoval removeKeptCopy(const QString &path)
{
    const QFileInfo info(path);
    OwnRecord record(recordsFolderFor(info.absolutePath()), info.absolutePath());
    const QByteArray top = QFile::encodeName(info.fileName());
    if (!record.names(top))
        return KeptCopyRemoval::NotRecorded;
    QList<QByteArray> names;
    for (const QByteArray &name : record.recordedNames()) {
        if (name == top || name.startsWith(top + '/'))
            names.append(name);
    }
    const QHash<QByteArray, OwnRecord::Outcome> outcomes = record.remove(names);
    const OwnRecord::Outcome outcome = outcomes.value(top, OwnRecord::Outcome::Failed);
    if (outcome == OwnRecord::Outcome::Removed || outcome == OwnRecord::Outcome::Absent)
        return KeptCopyRemoval::Removed;
    if (std::any_of(outcomes.cbegin(), outcomes.cend(), [](OwnRecord::Outcome each) { return each == OwnRecord::Outcome::Failed; })) {
        qCCritical(persistenceLogger, "Could not remove all of the kept copy %s; it is tried again later",
                   qUtf8Printable(loggedText(info.fileName())));
        return KeptCopyRemoval::NotRecorded;
    }
    // What is left of it is the user's now: no later look takes it for a copy of the program's.
    record.forget(names);
    qCInfo(persistenceLogger, "Kept %s: it holds files Kestrowan did not make", qUtf8Printable(loggedText(info.fileName())));
    return KeptCopyRemoval::KeptForUser;
}

// Naming and moving a finished copy into place happen one at a time.
QMutex &placing()
{
    static QMutex mutex;
    return mutex;
}

// Copies in place whose items are not in the store yet: no sweep takes them for unused.
QSet<QString> &landing()
{
    static QSet<QString> paths;
    return paths;
}

// The copy's place: the item's own name; a number before the extension when that name is taken.
QString freeName(const QString &folder, const QFileInfo &original)
{
    const QString base = original.completeBaseName();
    const QString suffix = original.suffix().isEmpty() ? QString() : u'.' + original.suffix();
    QString target = folder + u'/' + original.fileName();
    for (int n = 2; kindOf(target) != Kind::Missing; ++n)
        target = folder + u'/' + base + QStringLiteral(" %1").arg(n) + suffix;
    return target;
}

struct Outcome {
    std::optional<QString> kept;
    QString failure;
};

Outcome copyIntoFolder(const QString &source, const QString &folder, qint64 maximumBytes, const std::atomic_bool &cancelled,
                       const std::function<void(qint64, qint64)> &report)
{
    const QFileInfo info(source);
    const Kind kind = kindOf(source);
    CopyRun run{cancelled, {}, 0, 0, 0, {}};
    const auto failed = [&]() {
        if (!cancelled.load())
            qCCritical(persistenceLogger, "Failed to keep dropped item %s: %s", qUtf8Printable(loggedText(source)),
                       qUtf8Printable(loggedText(run.failure)));
        return Outcome{std::nullopt, copyFailureText(info.fileName(), run.error, run.failure)};
    };
    if (kind != Kind::File && kind != Kind::Folder) {
        run.fail(QStringLiteral("it is no file or folder"), kind == Kind::Missing ? ENOENT : EINVAL);
        return failed();
    }
    // A folder linked elsewhere (kept on another disk) takes the copies; nothing is ever removed
    // through that link.
    if (!QFileInfo(folder).isDir() && !makeFolder(folder, run))
        return failed();
    // The same file dropped again is the copy kept the first time.
    const QString sameName = folder + u'/' + info.fileName();
    if (kind == Kind::File && kindOf(sameName) == Kind::File && SafeWrite::sameContents(source, sameName))
        return {sameName, {}};
    const qint64 total = measure(source, maximumBytes);
    if (total > maximumBytes) {
        qCWarning(persistenceLogger, "Refused to keep %s: larger than %lld bytes", qUtf8Printable(loggedText(source)), maximumBytes);
        return {std::nullopt, localizedFormat(QStringLiteral("editor.dropTooLarge"), {info.fileName(), maximumBytes / (1024 * 1024)})};
    }
    run.report = [&](qint64 copied) { report(copied, total); };
    // Copied aside first, so that no half copy ever stands under the item's name. The record names
    // the copy on its way in before it exists, and every entry of it before it takes its place.
    // A folder linked elsewhere (the user's on another disk) keeps no record: nothing is ever
    // removed from it.
    OwnRecord record(recordsFolderFor(folder), folder);
    const bool recorded = record.isOpen();
    const QByteArray stagingName = QByteArrayLiteral(".incoming-") + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    const QString staging = folder + u'/' + QFile::decodeName(stagingName);
    if (recorded && !record.announceTemporaryFolder(stagingName)) {
        run.fail(QStringLiteral("cannot record the copy in %1: %2").arg(folder, errorText(record.lastError())), record.lastError());
        return failed();
    }
    if (!makeFolder(staging, run))
        return failed();
    const QString staged = staging + u'/' + info.fileName();
    Outcome outcome;
    if (copyTree(source, staged, run)) {
        const QMutexLocker lock(&placing());
        // Put in place only where nothing stands: a document the user saves under the chosen name
        // meanwhile (or an empty folder of theirs) keeps it, and the copy takes the next free name.
        for (int attempt = 0; attempt < 16 && !outcome.kept && run.failure.isEmpty(); ++attempt) {
            const QString target = freeName(folder, info);
            QList<QByteArray> names;
            collectNames(staged, QFile::encodeName(QFileInfo(target).fileName()), &names);
            if (recorded && !record.announce(names)) {
                run.fail(QStringLiteral("cannot record the copy in %1: %2").arg(folder, errorText(record.lastError())), record.lastError());
            } else if (::renameat2(AT_FDCWD, QFile::encodeName(staged).constData(), AT_FDCWD, QFile::encodeName(target).constData(),
                                   RENAME_NOREPLACE) == 0) {
                record.noteMade(names);
                outcome.kept = target;
                landing().insert(target);
            } else {
                const int error = errno;
                // Nothing was made under them: what stands there is not the program's.
                record.withdraw(names);
                if (error != EEXIST || attempt == 15)
                    run.fail(QStringLiteral("cannot move the copy to %1: %2").arg(target, errorText(error)), error);
            }
        }
    }
    QDir(staging).removeRecursively();
    record.noteMade({stagingName});
    if (outcome.kept || cancelled.load())
        return outcome;
    return failed();
}

} // namespace

QString DroppedItemKeeper::defaultFolder()
{
    return appSupportDirectoryURL() + QStringLiteral("/Dropped Items");
}

QStringList DroppedItemKeeper::systemTemporaryFolders()
{
    QStringList roots{QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")};
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        roots.append(runtime);
    return roots;
}

bool DroppedItemKeeper::isTemporaryPath(const QString &path, const QStringList &temporaryFolders)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const QString home = QDir::homePath();
    const bool inHome = absolute.startsWith(home + u'/');
    for (const QString &root : temporaryFolders) {
        const QString clean = QDir::cleanPath(root);
        // A home folder that is or lies in a temporary folder (a guest session, a test) holds the
        // user's own files all the same.
        if (inHome && (home == clean || home.startsWith(clean + u'/')))
            continue;
        if (absolute == clean || absolute.startsWith(clean + u'/'))
            return true;
        const QString real = QFileInfo(clean).canonicalFilePath();
        if (!real.isEmpty() && (absolute == real || absolute.startsWith(real + u'/')))
            return true;
    }
    return false;
}

DroppedItemKeeper::DroppedItemKeeper(QString folder, QObject *parent)
    : QObject(parent)
    , m_folder(std::move(folder))
{
}

DroppedItemKeeper::~DroppedItemKeeper()
{
    for (const Job &job : std::as_const(m_running))
        job.cancelled->store(true);
    for (const Job &job : std::as_const(m_running)) {
        job.thread->wait();
        delete job.thread;
    }
}

void DroppedItemKeeper::keep(const QString &path, std::function<void(const QString &kept)> kept)
{
    const auto done = [this, kept = std::move(kept)](const std::optional<QString> &copy, const QString &failure) {
        if (copy && kept)
            kept(*copy);
        // Its item is stored now (or was a duplicate and is not): from here on the store judges it.
        if (copy) {
            const QMutexLocker lock(&placing());
            landing().remove(*copy);
        }
        if (!failure.isEmpty())
            emit notice(AppToast{AppToast::Kind::Error, failure});
        else if (m_running.size() <= 1)
            emit notice(std::nullopt);
    };
    auto cancelled = std::make_shared<std::atomic_bool>(false);
    const QString folder = m_folder;
    const qint64 maximumBytes = m_maximumBytes;
    const QString name = QFileInfo(path).fileName();
    QPointer<DroppedItemKeeper> self(this);
    QThread *thread = QThread::create([=] {
        const Outcome outcome = copyIntoFolder(path, folder, maximumBytes, *cancelled, [&](qint64 copied, qint64 total) {
            QMetaObject::invokeMethod(self, [self, name, copied, total] {
                if (!self)
                    return;
                emit self->progress(name, copied, total);
                const qint64 percent = total > 0 ? copied * 100 / total : 100;
                emit self->notice(AppToast{AppToast::Kind::Info, localizedFormat(QStringLiteral("editor.copyingDrop"), {name, percent})});
            }, Qt::QueuedConnection);
        });
        if (cancelled->load()) {
            // Stopped as the program closes the page: the copy would belong to no item.
            if (outcome.kept) {
                const QMutexLocker lock(&placing());
                landing().remove(*outcome.kept);
                removeKeptCopy(*outcome.kept);
            }
            return;
        }
        QMetaObject::invokeMethod(self, [self, done, outcome] {
            if (self)
                done(outcome.kept, outcome.failure);
        }, Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, this, [this, thread] { finish(thread); });
    m_running.append({thread, cancelled});
    thread->start();
    emit runningCopiesChanged();
}

void DroppedItemKeeper::finish(QThread *thread)
{
    for (qsizetype i = 0; i < m_running.size(); ++i) {
        if (m_running.at(i).thread == thread) {
            m_running.removeAt(i);
            thread->deleteLater();
            emit runningCopiesChanged();
            return;
        }
    }
}

void DroppedItemKeeper::removeUnreferenced(const QString &folder, const QSet<QString> &referencedPaths,
                                           std::function<void(const QString &kept)> keptForUser)
{
    // Judged here, against the items as they are now; only the removing goes to the pool.
    // A folder linked elsewhere (the user's own on another disk) is never emptied through the link.
    if (QFileInfo(folder).isSymLink()) {
        static bool told = false;
        if (!std::exchange(told, true))
            qCInfo(persistenceLogger, "Kept copies no item uses stay: %s is a link", qUtf8Printable(loggedText(folder)));
        return;
    }
    QStringList unused;
    {
        const QMutexLocker lock(&placing());
        for (const QString &name : childrenOf(folder)) {
            const QString entry = folder + u'/' + name;
            if (name.startsWith(u'.') || landing().contains(entry))
                continue;
            const bool used = std::any_of(referencedPaths.cbegin(), referencedPaths.cend(), [&entry](const QString &path) {
                return path == entry || path.startsWith(entry + u'/');
            });
            if (!used)
                unused.append(entry);
        }
    }
    if (unused.isEmpty())
        return;
    QThreadPool::globalInstance()->start([unused, keptForUser = std::move(keptForUser)] {
        for (const QString &entry : unused) {
            switch (removeKeptCopy(entry)) {
            case KeptCopyRemoval::Removed:
                qCInfo(persistenceLogger, "Removed kept copy no item uses: %s", qUtf8Printable(loggedText(QFileInfo(entry).fileName())));
                break;
            case KeptCopyRemoval::KeptForUser:
                if (keptForUser && QCoreApplication::instance())
                    QMetaObject::invokeMethod(QCoreApplication::instance(), [keptForUser, entry] { keptForUser(entry); }, Qt::QueuedConnection);
                break;
            case KeptCopyRemoval::NotRecorded:
                break;
            }
        }
    });
}

void DroppedItemKeeper::followStore(GroupManager &store, const QString &folder)
{
    QObject::connect(&store, &GroupManager::groupsChanged, &store, [&store, folder] {
        if (store.loadError() || !QFileInfo(folder).isDir())
            return;
        QSet<QString> referenced;
        for (const AppGroup &group : store.groups())
            for (const AppItem &item : group.apps)
                if (item.path.startsWith(folder + u'/'))
                    referenced.insert(item.path);
        removeUnreferenced(folder, referenced, [store = QPointer<GroupManager>(&store)](const QString &kept) {
            if (store)
                store->tellFolderKeptForUserFiles(kept);
        });
    });
}
