#include "Platform/safewrite/OwnFiles.h"

#include "Platform/logging/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace OwnFiles {

namespace {

constexpr const char markAttribute[] = "user.kestrowan.made";
// Folders nested deeper than this are not emptied: nothing the program makes is that deep.
constexpr int maximumDepth = 256;

// Empties the open folder `handle` (which this call closes) without following a link; whether all went.
bool emptyFolder(int handle, int depth)
{
    DIR *listing = ::fdopendir(handle);
    if (!listing) {
        ::close(handle);
        return false;
    }
    bool emptied = true;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat status {};
        if (::fstatat(handle, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            emptied = false;
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            const int inner = depth < maximumDepth
                ? ::openat(handle, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                : -1;
            if (inner < 0 || !emptyFolder(inner, depth + 1) || ::unlinkat(handle, name.constData(), AT_REMOVEDIR) != 0)
                emptied = false;
        } else if (::unlinkat(handle, name.constData(), 0) != 0) {
            emptied = false;
        }
    }
    ::closedir(listing);
    return emptied;
}

Removal fail(QString *failure, Removal removal, const QString &reason)
{
    if (failure)
        *failure = reason;
    return removal;
}

} // namespace

Removal removeEntry(const QString &folder, const QString &name, const Ownership &isOurs, QString *failure)
{
    const int parent = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (parent < 0) {
        const int error = errno;
        return fail(failure, Removal::Failed,
                    error == ELOOP || error == ENOTDIR ? QStringLiteral("the folder is a link or no folder") : systemErrorText(error));
    }
    const Removal removal = removeEntryAt(parent, QFile::encodeName(name), [&isOurs](int descriptor, const struct stat &status) {
        return !S_ISLNK(status.st_mode) && isOurs(descriptor, status);
    }, failure);
    ::close(parent);
    return removal;
}

Removal removeEntryAt(int parent, const QByteArray &entryName, const Ownership &isOurs, QString *failure)
{
    if (entryName.isEmpty() || entryName.contains('/') || entryName == "." || entryName == "..")
        return fail(failure, Removal::NotOurs, QStringLiteral("not an entry name"));
    struct stat before {};
    if (::fstatat(parent, entryName.constData(), &before, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Removal::Absent : fail(failure, Removal::Failed, systemErrorText(errno));
    if (!S_ISREG(before.st_mode) && !S_ISDIR(before.st_mode) && !S_ISLNK(before.st_mode))
        return fail(failure, Removal::NotOurs, QStringLiteral("not a regular file, folder or link"));

    // Moved aside first: whatever is judged below is what goes, even if the name is taken again meanwhile.
    const QByteArray aside = ".removing-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    if (::renameat2(parent, entryName.constData(), parent, aside.constData(), RENAME_NOREPLACE) != 0)
        return fail(failure, Removal::Failed, systemErrorText(errno));
    const auto putBack = [&]() { ::renameat2(parent, aside.constData(), parent, entryName.constData(), RENAME_NOREPLACE); };

    struct stat moved {};
    if (S_ISLNK(before.st_mode)) {
        // A link is judged by its own status; removing it never touches what it points at.
        if (::fstatat(parent, aside.constData(), &moved, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(moved.st_mode)
            || !isOurs(-1, moved)) {
            putBack();
            return fail(failure, Removal::NotOurs, QStringLiteral("the program did not make it"));
        }
        if (::unlinkat(parent, aside.constData(), 0) != 0) {
            const int error = errno;
            putBack();
            return fail(failure, Removal::Failed, systemErrorText(error));
        }
        return Removal::Removed;
    }
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (S_ISDIR(before.st_mode) ? O_DIRECTORY : 0);
    const int handle = ::fstatat(parent, aside.constData(), &moved, AT_SYMLINK_NOFOLLOW) == 0
            && (moved.st_mode & S_IFMT) == (before.st_mode & S_IFMT)
        ? ::openat(parent, aside.constData(), flags)
        : -1;
    struct stat opened {};
    if (handle < 0 || ::fstat(handle, &opened) != 0 || opened.st_dev != moved.st_dev || opened.st_ino != moved.st_ino
        || !isOurs(handle, opened)) {
        if (handle >= 0)
            ::close(handle);
        putBack();
        return fail(failure, Removal::NotOurs, QStringLiteral("the program did not make it"));
    }
    if (S_ISREG(opened.st_mode)) {
        ::close(handle);
        if (::unlinkat(parent, aside.constData(), 0) != 0) {
            const int error = errno;
            putBack();
            return fail(failure, Removal::Failed, systemErrorText(error));
        }
        return Removal::Removed;
    }
    if (!emptyFolder(handle, 0)) {
        putBack();
        return fail(failure, Removal::Failed, QStringLiteral("not everything in it could be removed"));
    }
    if (::unlinkat(parent, aside.constData(), AT_REMOVEDIR) != 0) {
        const int error = errno;
        putBack();
        return fail(failure, Removal::Failed, systemErrorText(error));
    }
    return Removal::Removed;
}

int openFolder(const QString &path, bool *throughLink)
{
    *throughLink = false;
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QStringList parts = absolute.split(u'/', Qt::SkipEmptyParts);
    // Each folder on the way is opened from the one before it, none through a link: a folder found
    // that way is where its path says, whatever is swapped in on the way meanwhile.
    int handle = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (qsizetype i = 0; handle >= 0 && i < parts.size(); ++i) {
        const QByteArray part = QFile::encodeName(parts.at(i));
        const int flags = (i + 1 == parts.size() ? O_RDONLY : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        const int next = ::openat(handle, part.constData(), flags);
        const int error = errno;
        struct stat status {};
        if (next < 0 && i + 1 < parts.size() && ::fstatat(handle, part.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISLNK(status.st_mode))
            *throughLink = true;
        ::close(handle);
        handle = next;
        errno = error;
        if (*throughLink)
            break;
    }
    if (!*throughLink)
        return handle;
    // Kept elsewhere: opened through the links on the way, but never when it is a link itself.
    return ::open(QFile::encodeName(absolute).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

namespace {

// Removes the marked entry `name` of the open folder `parent`, as removeMarked does.
bool removeMarkedAt(int parent, const QByteArray &name, const QByteArray &kind, int depth)
{
    struct stat status {};
    if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if ((!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) || depth > maximumDepth)
        return false;
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (S_ISDIR(status.st_mode) ? O_DIRECTORY : 0);
    const int handle = ::openat(parent, name.constData(), flags);
    if (handle < 0)
        return false;
    struct stat opened {};
    const bool marked = isMarked(handle, kind);
    if (::fstat(handle, &opened) != 0 || opened.st_ino != status.st_ino || opened.st_dev != status.st_dev
        || (S_ISREG(opened.st_mode) && !marked)) {
        ::close(handle);
        return false;
    }
    if (S_ISREG(opened.st_mode)) {
        ::close(handle);
        // The name still names the file judged above.
        struct stat now {};
        return ::fstatat(parent, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == opened.st_ino
            && now.st_dev == opened.st_dev && ::unlinkat(parent, name.constData(), 0) == 0;
    }
    DIR *listing = ::fdopendir(handle);
    if (!listing) {
        ::close(handle);
        return false;
    }
    QList<QByteArray> names;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray child(entry->d_name);
        if (child != "." && child != "..")
            names.append(child);
    }
    bool emptied = true;
    for (const QByteArray &child : std::as_const(names))
        emptied = removeMarkedAt(::dirfd(listing), child, kind, depth + 1) && emptied;
    ::closedir(listing);
    // A folder the user made keeps standing, even once the program's files in it are gone.
    return emptied && marked && ::unlinkat(parent, name.constData(), AT_REMOVEDIR) == 0;
}

} // namespace

bool removeMarked(const QString &folder, const QString &name, const QByteArray &kind)
{
    const QByteArray entryName = QFile::encodeName(name);
    if (entryName.isEmpty() || entryName.contains('/') || entryName == "." || entryName == "..")
        return false;
    const int parent = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (parent < 0)
        return false;
    const bool removed = removeMarkedAt(parent, entryName, kind, 0);
    ::close(parent);
    return removed;
}

bool mark(const QString &path, const QByteArray &kind)
{
    return ::lsetxattr(QFile::encodeName(path).constData(), markAttribute, kind.constData(), size_t(kind.size()), 0) == 0;
}

bool isMarked(int descriptor, const QByteArray &kind)
{
    QByteArray value(kind.size() + 1, Qt::Uninitialized);
    const ssize_t length = ::fgetxattr(descriptor, markAttribute, value.data(), size_t(value.size()));
    return length == kind.size() && value.left(length) == kind;
}

} // namespace OwnFiles
