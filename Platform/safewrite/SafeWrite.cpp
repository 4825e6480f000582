#include "Platform/safewrite/SafeWrite.h"
#include "Platform/logging/LoggedText.h"
#include "Platform/logging/SystemErrorText.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(safeWriteLog, "com.kestrowan.app.persistence")

namespace SafeWrite {

namespace {

constexpr int maximumLinkHops = 40; // as the kernel's own limit when it follows links
constexpr qint64 chunkBytes = 1 << 20;

QString errnoText(int error)
{
    return systemErrorText(error);
}

// The permission bits of a file as Qt describes them.
mode_t sourcePermissions(const QFileInfo &info)
{
    const QFile::Permissions permissions = info.permissions();
    mode_t mode = 0;
    mode |= permissions.testFlag(QFile::ReadOwner) ? S_IRUSR : 0;
    mode |= permissions.testFlag(QFile::WriteOwner) ? S_IWUSR : 0;
    mode |= permissions.testFlag(QFile::ExeOwner) ? S_IXUSR : 0;
    mode |= permissions.testFlag(QFile::ReadGroup) ? S_IRGRP : 0;
    mode |= permissions.testFlag(QFile::WriteGroup) ? S_IWGRP : 0;
    mode |= permissions.testFlag(QFile::ExeGroup) ? S_IXGRP : 0;
    mode |= permissions.testFlag(QFile::ReadOther) ? S_IROTH : 0;
    mode |= permissions.testFlag(QFile::WriteOther) ? S_IWOTH : 0;
    mode |= permissions.testFlag(QFile::ExeOther) ? S_IXOTH : 0;
    return mode;
}

QString kindOf(mode_t mode)
{
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISFIFO(mode))
        return QStringLiteral("a fifo");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    return QStringLiteral("a special file");
}

std::optional<QString> refused(const QString &path, const Target &target)
{
    qCCritical(safeWriteLog, "Refused to replace %s: %s", qUtf8Printable(loggedText(path)), qUtf8Printable(loggedText(*target.refusal)));
    return target.refusal;
}

// Puts the finished file `temporary` at `target` unless something is there already.
bool placeWithoutReplacing(const QString &temporary, const QString &target, int *error, bool *linked)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(target);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        *error = errno;
        return false;
    }
    // A file system without the exclusive rename: a new hard link fails as well when the name is taken.
    if (::link(from.constData(), to.constData()) == 0) {
        *linked = true;
        return true;
    }
    *error = errno;
    return false;
}

struct Handle {
    int value = -1;
    Handle() = default;
    explicit Handle(int handle) : value(handle) {}
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle()
    {
        if (value >= 0)
            ::close(value);
    }
};

// Writes all of `bytes` to `handle`; the error number when that failed.
int writeAll(int handle, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t step = ::write(handle, bytes.constData() + written, size_t(bytes.size() - written));
        if (step < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += step;
    }
    return 0;
}

std::atomic_bool &unnamedFilesRefused()
{
    static std::atomic_bool refused{false};
    return refused;
}

std::function<void(int, const QByteArray &)> &temporaryWatcher()
{
    static std::function<void(int, const QByteArray &)> watcher;
    return watcher;
}

void tellNamed(int folder, const QByteArray &name)
{
    if (temporaryWatcher())
        temporaryWatcher()(folder, name);
}

QByteArray besideName(const QByteArray &name)
{
    return "." + name + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

// A new file beside `name` in the folder `folder`, holding `bytes` (synced for Durability::Disk), with
// `mode` unless it is -1; named `*temporary` when it had to be named to be made. The open handle, or -1
// with the error number in `*error`.
int writeBeside(int folder, const QByteArray &name, const QByteArray &bytes, Durability durability,
                int mode, QByteArray *temporary, int *error, const TemporaryNaming &naming)
{
    // Unnamed while it is written, where the file system allows: a program killed meanwhile leaves nothing.
    int handle = unnamedFilesRefused() ? -1 : ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    temporary->clear();
    if (handle < 0) {
        for (int attempt = 0; attempt < 16 && handle < 0; ++attempt) {
            *temporary = besideName(name);
            if (naming && !naming(*temporary)) {
                errno = ECANCELED;
                break;
            }
            handle = ::openat(folder, temporary->constData(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (handle < 0 && errno != EEXIST)
                break;
        }
        if (handle >= 0)
            tellNamed(folder, *temporary);
        if (handle < 0) {
            *error = errno;
            temporary->clear();
            return -1;
        }
    }
    int failure = writeAll(handle, bytes);
    if (failure == 0 && durability == Durability::Disk && ::fsync(handle) != 0)
        failure = errno;
    // The replaced file's permissions, as they were when it was checked.
    if (failure == 0 && mode >= 0 && ::fchmod(handle, mode_t(mode)) != 0)
        failure = errno;
    if (failure != 0) {
        ::close(handle);
        if (!temporary->isEmpty())
            ::unlinkat(folder, temporary->constData(), 0);
        temporary->clear();
        *error = failure;
        return -1;
    }
    return handle;
}

// Gives the unnamed file `handle` the name `name` in `folder`; fails with EEXIST when the name is taken.
int nameUnnamed(int handle, int folder, const QByteArray &name)
{
    const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(handle);
    if (::linkat(AT_FDCWD, unnamed.constData(), folder, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

enum class Placed { Done, Again, Failed };

// Puts the finished file in place of what `checked` described (a regular file, or nothing), and of
// nothing else: a fifo or device moved there since it was checked is put back where it was.
Placed place(int folder, const QByteArray &name, int handle, QByteArray &temporary, const std::optional<struct stat> &checked,
             int *error, const TemporaryNaming &naming)
{
    if (!checked) {
        // Nothing there when checked: the name is taken only if it is still free.
        const int failure = temporary.isEmpty()
            ? nameUnnamed(handle, folder, name)
            : (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_NOREPLACE) == 0 ? 0 : errno);
        if (failure == 0) {
            temporary.clear();
            return Placed::Done;
        }
        *error = failure;
        return failure == EEXIST ? Placed::Again : Placed::Failed;
    }
    if (temporary.isEmpty()) {
        for (int attempt = 0; attempt < 16 && temporary.isEmpty(); ++attempt) {
            temporary = besideName(name);
            if (naming && !naming(temporary)) {
                temporary.clear();
                *error = ECANCELED;
                return Placed::Failed;
            }
            const int failure = nameUnnamed(handle, folder, temporary);
            if (failure == 0)
                tellNamed(folder, temporary);
            if (failure != 0) {
                temporary.clear();
                if (failure != EEXIST) {
                    *error = failure;
                    return Placed::Failed;
                }
            }
        }
        if (temporary.isEmpty()) {
            *error = EEXIST;
            return Placed::Failed;
        }
    }
    // Exchanged in one step, then judged: what came out is the file that was checked, or a regular
    // file another writer put there meanwhile, or it goes back.
    if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_EXCHANGE) != 0) {
        if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
            *error = errno;
            return errno == ENOENT ? Placed::Again : Placed::Failed;
        }
        // No exchange on this file system: the last look comes right before the move.
        struct stat now {};
        if (::fstatat(folder, name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_dev != checked->st_dev
            || now.st_ino != checked->st_ino) {
            *error = EAGAIN;
            return Placed::Again;
        }
        if (::renameat(folder, temporary.constData(), folder, name.constData()) != 0) {
            *error = errno;
            return Placed::Failed;
        }
        temporary.clear();
        return Placed::Done;
    }
    // The name beside now holds what was in place. It is removed only when it is our own file (come
    // back from a putting back) or a regular file (the one checked, or another writer's newer one);
    // anything else is put back in place, as often as a racing rename moves it out again.
    struct stat mine {};
    if (::fstat(handle, &mine) != 0) {
        *error = errno;
        return Placed::Failed;
    }
    const auto same = [](const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; };
    for (int round = 0; round < 16; ++round) {
        struct stat out {};
        if (::fstatat(folder, temporary.constData(), &out, AT_SYMLINK_NOFOLLOW) != 0) {
            temporary.clear();
            *error = EAGAIN;
            return Placed::Again;
        }
        if (same(out, mine) || S_ISREG(out.st_mode)) {
            ::unlinkat(folder, temporary.constData(), 0);
            temporary.clear();
            if (round == 0 && !same(out, mine))
                return Placed::Done;
            *error = EAGAIN;
            return Placed::Again;
        }
        if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_EXCHANGE) != 0) {
            // Its place emptied meanwhile: it goes back there alone.
            if (::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_NOREPLACE) == 0) {
                temporary.clear();
                *error = EAGAIN;
                return Placed::Again;
            }
            break;
        }
    }
    qCCritical(safeWriteLog, "Left what was moved into the place of %s beside it, as %s", name.constData(), temporary.constData());
    temporary.clear();
    *error = EAGAIN;
    return Placed::Again;
}

} // namespace

std::optional<QString> writeThrough(QFileDevice &device, const QByteArray &bytes, Durability durability)
{
    // The system's own reason ("No space left on device") says more than the device's, which is often
    // "Unknown error" for a buffered write that failed.
    const auto reason = [](int error) { return error != 0 ? errnoText(error) : QStringLiteral("write error"); };
    errno = 0;
    if (device.write(bytes) != bytes.size())
        return reason(errno);
    // The write above may only have filled the device's buffer; the disk's answer comes with the flush.
    errno = 0;
    if (!device.flush() || device.error() != QFileDevice::NoError)
        return reason(errno);
    const int handle = device.handle();
    if (durability == Durability::Disk && handle >= 0 && ::fsync(handle) != 0)
        return errnoText(errno);
    return std::nullopt;
}

Target replaceableTarget(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop < maximumLinkHops; ++hop) {
        struct stat info {};
        const QByteArray name = QFile::encodeName(current);
        if (::lstat(name.constData(), &info) != 0) {
            if (errno == ENOENT)
                return {current, std::nullopt}; // nothing there yet: it is made new
            return {current, QStringLiteral("%1 cannot be examined: %2").arg(current, errnoText(errno))};
        }
        if (S_ISREG(info.st_mode))
            return {current, std::nullopt};
        if (!S_ISLNK(info.st_mode)) {
            if (hop == 0)
                return {current, QStringLiteral("it is %1, not a regular file").arg(kindOf(info.st_mode))};
            return {current, QStringLiteral("it links to %1, %2, not a regular file").arg(current, kindOf(info.st_mode))};
        }
        QByteArray text(4096, Qt::Uninitialized);
        const ssize_t length = ::readlink(name.constData(), text.data(), size_t(text.size()));
        if (length < 0 || length >= text.size())
            return {current, QStringLiteral("the link %1 cannot be read").arg(current)};
        text.truncate(qsizetype(length));
        const QString linked = QFile::decodeName(text);
        // A relative link is read from the folder the link lies in; ".." is left to the file system,
        // which resolves it after the links before it.
        current = QDir::isAbsolutePath(linked) ? linked : QFileInfo(current).path() + u'/' + linked;
    }
    return {path, QStringLiteral("too many levels of links")};
}

std::optional<QString> replaceFile(const QString &path, const QByteArray &bytes, Folder folder, Durability durability, int *error,
                                   const TemporaryNaming &naming)
{
    int ignored = 0;
    int &cause = error ? *error : ignored;
    cause = 0;
    const QString folderPath = QFileInfo(path).absolutePath();
    if (folder == Folder::Make && !QDir().mkpath(folderPath)) {
        cause = errno;
        return QStringLiteral("cannot create the folder %1").arg(folderPath);
    }
    // Some attempts, should the entry change kind between the look and the move.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const Target target = replaceableTarget(path);
        if (target.refusal) {
            cause = EINVAL;
            return refused(path, target);
        }
        // The file the links name is replaced beside itself; the links stay as they are. Everything
        // below works from the folder as it was opened, whatever its path comes to name meanwhile.
        const QFileInfo targetInfo(target.path);
        const Handle directory(::open(QFile::encodeName(targetInfo.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (directory.value < 0) {
            cause = errno;
            return errnoText(cause);
        }
        const QByteArray name = QFile::encodeName(targetInfo.fileName());
        std::optional<struct stat> checked;
        struct stat status {};
        if (::fstatat(directory.value, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISLNK(status.st_mode))
                continue; // a link put there since the look: its chain is followed again
            if (!S_ISREG(status.st_mode)) {
                cause = EINVAL;
                return refused(path, Target{target.path, QStringLiteral("it is %1, not a regular file").arg(kindOf(status.st_mode))});
            }
            checked = status;
        } else if (errno != ENOENT) {
            cause = errno;
            return errnoText(cause);
        }
        QByteArray temporary;
        const int mode = checked ? int(checked->st_mode & 07777) : -1;
        const Handle file(writeBeside(directory.value, name, bytes, durability, mode, &temporary, &cause, naming));
        if (file.value < 0)
            return errnoText(cause);
        const Placed placed = place(directory.value, name, file.value, temporary, checked, &cause, naming);
        if (!temporary.isEmpty())
            ::unlinkat(directory.value, temporary.constData(), 0);
        if (placed == Placed::Done) {
            cause = 0;
            return std::nullopt;
        }
        if (placed == Placed::Failed)
            return errnoText(cause);
    }
    cause = EAGAIN;
    qCCritical(safeWriteLog, "Refused to replace %s: it kept changing while it was written", qUtf8Printable(loggedText(path)));
    return QStringLiteral("it kept changing while it was written");
}

std::optional<QString> copyFile(const QString &source, const QString &target, Existing existing, Durability durability,
                                const CopyProgress &progress, int *error, const TemporaryNaming &naming)
{
    int ignored = 0;
    int &cause = error ? *error : ignored;
    cause = 0;
    // The error number of the call that just failed, kept before anything else can change it.
    const auto failed = [&cause](const QString &reason, int number = errno) {
        cause = number;
        return std::optional<QString>(reason);
    };
    const QFileInfo sourceInfo(source);
    if (!sourceInfo.isFile())
        return failed(QStringLiteral("%1 is not a regular file").arg(source), sourceInfo.exists() ? EINVAL : ENOENT);
    QString destination = QFileInfo(target).absoluteFilePath();
    if (existing == Existing::Replace) {
        const Target place = replaceableTarget(target);
        if (place.refusal)
            return failed(*refused(target, place), EINVAL);
        destination = place.path;
    } else if (struct stat info {}; ::lstat(QFile::encodeName(destination).constData(), &info) == 0) {
        return failed(QStringLiteral("%1 exists").arg(destination), EEXIST);
    }

    QFile in(source);
    if (source.startsWith(u':')) {
        if (!in.open(QIODevice::ReadOnly))
            return failed(QStringLiteral("%1 cannot be read").arg(source), ENOENT);
    } else {
        // Opened without blocking and checked on the open descriptor: a fifo put in the file's place
        // after the check above would otherwise hold the copy until someone writes to it.
        const int handle = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            return failed(errnoText(errno));
        struct stat status {};
        if (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(handle);
            return failed(QStringLiteral("%1 is not a regular file").arg(source), EINVAL);
        }
        if (!in.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(handle);
            return failed(QStringLiteral("%1 cannot be read").arg(source), EIO);
        }
    }
    const QFileInfo destinationInfo(destination);
    // The system's own reasons, in English, straight from each call: a device's text is often
    // "Unknown error" for a buffered write that failed, and follows the interface's language.
    const auto systemFailure = [&failed](int number) { return failed(number != 0 ? errnoText(number) : QStringLiteral("read error"), number); };
    const Handle folderHandle(::open(QFile::encodeName(destinationInfo.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderHandle.value < 0)
        return systemFailure(errno);
    // Written beside the target under a name of its own, told to `naming` before it is made; gone
    // again unless it took the target's place.
    QByteArray temporaryName;
    int written = -1;
    for (int attempt = 0; attempt < 16 && written < 0; ++attempt) {
        temporaryName = besideName(QFile::encodeName(destinationInfo.fileName()));
        if (naming && !naming(temporaryName))
            return failed(QStringLiteral("the temporary file could not be recorded"), ECANCELED);
        written = ::openat(folderHandle.value, temporaryName.constData(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (written < 0 && errno != EEXIST)
            return systemFailure(errno);
    }
    if (written < 0)
        return systemFailure(EEXIST);
    const Handle out(written);
    bool placed = false;
    const auto removeTemporary = qScopeGuard([&] {
        if (!placed)
            ::unlinkat(folderHandle.value, temporaryName.constData(), 0);
    });
    qint64 copied = 0;
    for (;;) {
        errno = 0;
        const QByteArray chunk = in.read(chunkBytes);
        if (chunk.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                return systemFailure(errno);
            break;
        }
        if (const int failure = writeAll(out.value, chunk); failure != 0)
            return systemFailure(failure);
        copied += chunk.size();
        if (progress && !progress(copied))
            return failed(QStringLiteral("stopped"), ECANCELED);
    }
    if (durability == Durability::Disk && ::fsync(out.value) != 0)
        return systemFailure(errno);
    if (::fchmod(out.value, sourcePermissions(sourceInfo)) != 0)
        return systemFailure(errno);
    const QString temporary = destinationInfo.path() + u'/' + QFile::decodeName(temporaryName);

    if (existing == Existing::Replace) {
        if (::renameat(folderHandle.value, temporaryName.constData(), folderHandle.value,
                       QFile::encodeName(destinationInfo.fileName()).constData()) != 0)
            return failed(errnoText(errno));
        placed = true;
        return std::nullopt;
    }
    int placing = 0;
    bool linked = false;
    if (!placeWithoutReplacing(temporary, destination, &placing, &linked))
        return failed(placing == EEXIST ? QStringLiteral("%1 exists").arg(destination) : errnoText(placing), placing);
    // A hard link leaves the temporary name to remove (the file stays under its new name).
    placed = !linked;
    return std::nullopt;
}

std::optional<QString> createFile(const QString &path, const QByteArray &bytes, Durability durability, int *error,
                                  const TemporaryNaming &naming)
{
    int ignored = 0;
    int &cause = error ? *error : ignored;
    cause = 0;
    const QFileInfo info(path);
    const Handle directory(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.value < 0) {
        cause = errno;
        return errnoText(cause);
    }
    const QByteArray name = QFile::encodeName(info.fileName());
    QByteArray temporary;
    const Handle file(writeBeside(directory.value, name, bytes, durability, -1, &temporary, &cause, naming));
    if (file.value < 0)
        return errnoText(cause);
    const Placed placed = place(directory.value, name, file.value, temporary, std::nullopt, &cause, naming);
    if (!temporary.isEmpty())
        ::unlinkat(directory.value, temporary.constData(), 0);
    if (placed == Placed::Done) {
        cause = 0;
        return std::nullopt;
    }
    return cause == EEXIST ? QStringLiteral("%1 exists").arg(path) : errnoText(cause);
}

void refuseUnnamedFiles(bool refuse)
{
    unnamedFilesRefused() = refuse;
}

void watchNamedTemporaries(std::function<void(const QString &path)> watcher)
{
    if (!watcher) {
        temporaryWatcher() = nullptr;
        return;
    }
    temporaryWatcher() = [watcher = std::move(watcher)](int folder, const QByteArray &name) {
        QByteArray path(PATH_MAX, Qt::Uninitialized);
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(folder);
        const ssize_t length = ::readlink(link.constData(), path.data(), size_t(path.size()));
        watcher(QFile::decodeName(path.left(length > 0 ? length : 0) + '/' + name));
    };
}

void tellNamedTemporary(const QString &path)
{
    if (!temporaryWatcher())
        return;
    const QFileInfo info(path);
    const Handle folder(::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.value >= 0)
        tellNamed(folder.value, QFile::encodeName(info.fileName()));
}

qint64 spareBytes(const QString &folder)
{
    struct statvfs disk {};
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0)
        return 0;
    qint64 spare = qint64(disk.f_bavail) * qint64(disk.f_frsize) / 2;
    rlimit fileSize {};
    if (::getrlimit(RLIMIT_FSIZE, &fileSize) == 0 && fileSize.rlim_cur != RLIM_INFINITY)
        spare = std::min(spare, qint64(fileSize.rlim_cur));
    return spare;
}

bool sameContents(const QString &first, const QString &second)
{
    QFile a(first);
    QFile b(second);
    if (!QFileInfo(first).isFile() || !QFileInfo(second).isFile() || a.size() != b.size())
        return false;
    if (!a.open(QIODevice::ReadOnly) || !b.open(QIODevice::ReadOnly))
        return false;
    for (;;) {
        const QByteArray left = a.read(chunkBytes);
        const QByteArray right = b.read(chunkBytes);
        if (left != right || a.error() != QFileDevice::NoError || b.error() != QFileDevice::NoError)
            return false;
        if (left.isEmpty())
            return true;
    }
}

} // namespace SafeWrite
