#include "Platform/safewrite/SafeWrite.h"
#include "Platform/logging/LoggedText.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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
    return QString::fromLocal8Bit(std::strerror(error));
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

// Durability::Rebuilt: the replacement QSaveFile makes (an unnamed file, given its name or moved
// over the old one only once whole), without the sync to the disk that QSaveFile always adds. A
// Sync All of two hundred mirror folders otherwise waited on the disk some six hundred times.
// Nothing when the file system has no unnamed files: QSaveFile then does it all.
std::optional<std::optional<QString>> replaceWithoutSync(const QString &target, const QByteArray &bytes)
{
    const QFileInfo info(target);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const QByteArray name = QFile::encodeName(target);
    const int handle = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (handle < 0)
        return std::nullopt;
    QFile file;
    if (!file.open(handle, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return std::nullopt;
    }
    if (std::optional<QString> reason = writeThrough(file, bytes, Durability::Rebuilt))
        return reason;
    // The replaced file's permissions stay, as QSaveFile keeps them.
    struct stat existing {};
    const bool replacing = ::lstat(name.constData(), &existing) == 0;
    if (replacing && ::fchmod(handle, existing.st_mode & 07777) != 0)
        return errnoText(errno);
    const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(handle);
    if (!replacing) {
        if (::linkat(AT_FDCWD, unnamed.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0)
            return std::optional<QString>();
        // Without the process's own descriptors in /proc the file cannot be named: QSaveFile can.
        if (errno != EEXIST)
            return std::nullopt;
    }
    // Named beside the old file first, then moved over it in one step.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray beside = folder + "/." + QFile::encodeName(info.fileName()) + '.'
                                  + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        if (::linkat(AT_FDCWD, unnamed.constData(), AT_FDCWD, beside.constData(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        if (::rename(beside.constData(), name.constData()) != 0) {
            const int error = errno;
            ::unlink(beside.constData());
            return errnoText(error);
        }
        return std::optional<QString>();
    }
    return QStringLiteral("no free name beside %1").arg(target);
}

} // namespace

std::optional<QString> writeThrough(QFileDevice &device, const QByteArray &bytes, Durability durability)
{
    // The system's own reason ("No space left on device") says more than the device's, which is often
    // "Unknown error" for a buffered write that failed.
    const auto reason = [&device](int error) { return error != 0 ? errnoText(error) : device.errorString(); };
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

std::optional<QString> replaceFile(const QString &path, const QByteArray &bytes, Folder folder, Durability durability)
{
    const QString folderPath = QFileInfo(path).absolutePath();
    if (folder == Folder::Make && !QDir().mkpath(folderPath))
        return QStringLiteral("cannot create the folder %1").arg(folderPath);
    const Target target = replaceableTarget(path);
    if (target.refusal)
        return refused(path, target);
    // The file the links name is replaced beside itself; the links stay as they are.
    if (durability == Durability::Rebuilt) {
        if (std::optional<std::optional<QString>> replaced = replaceWithoutSync(target.path, bytes))
            return *replaced;
    }
    QSaveFile file(target.path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (std::optional<QString> reason = writeThrough(file, bytes, durability)) {
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> copyFile(const QString &source, const QString &target, Existing existing, Durability durability,
                                const CopyProgress &progress, int *error)
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
            return failed(in.errorString());
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
            return failed(in.errorString());
        }
    }
    const QFileInfo destinationInfo(destination);
    QTemporaryFile out(destinationInfo.path() + QStringLiteral("/.") + destinationInfo.fileName() + QStringLiteral(".XXXXXX"));
    if (!out.open())
        return failed(out.errorString());
    qint64 copied = 0;
    for (;;) {
        const QByteArray chunk = in.read(chunkBytes);
        if (chunk.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                return failed(in.errorString());
            break;
        }
        if (out.write(chunk) != chunk.size())
            return failed(out.errorString());
        copied += chunk.size();
        if (progress && !progress(copied))
            return failed(QStringLiteral("stopped"), ECANCELED);
    }
    if (std::optional<QString> reason = writeThrough(out, {}, durability))
        return failed(*reason);
    out.setPermissions(sourceInfo.permissions());
    const QString temporary = out.fileName();
    out.close();
    if (out.error() != QFileDevice::NoError)
        return failed(out.errorString());

    if (existing == Existing::Replace) {
        if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(destination).constData()) != 0)
            return failed(errnoText(errno));
        out.setAutoRemove(false);
        return std::nullopt;
    }
    int placing = 0;
    bool linked = false;
    if (!placeWithoutReplacing(temporary, destination, &placing, &linked))
        return failed(placing == EEXIST ? QStringLiteral("%1 exists").arg(destination) : errnoText(placing), placing);
    // A hard link leaves the temporary name to remove (the file stays under its new name).
    out.setAutoRemove(linked);
    return std::nullopt;
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
