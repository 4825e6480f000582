#include "Platform/safewrite/OwnFiles.h"

#include "Platform/logging/SystemErrorText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <utility>
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
    bool emptied = false;
    const QList<QByteArray> names = namesIn(handle, &emptied);
    for (const QByteArray &name : names) {
        struct stat status {};
        if (::fstatat(handle, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            emptied = emptied && errno == ENOENT;
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
    ::close(handle);
    return emptied;
}

// Entries on their way out are set aside under this prefix, followed by a random word, a dash
// and their own name, so that one left there by a crash can be put back under that name.
constexpr char asidePrefix[] = ".removing-";

QByteArray asideNameFor(const QByteArray &name)
{
    const QByteArray aside = asidePrefix + QByteArray::number(QRandomGenerator::global()->generate64(), 36) + '-' + name;
    // A name too long to carry along is removed in place instead.
    return aside.size() <= NAME_MAX ? aside : QByteArray();
}

bool sameEntry(const struct stat &one, const struct stat &other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino && (one.st_mode & S_IFMT) == (other.st_mode & S_IFMT);
}

Removal fail(QString *failure, Removal removal, const QString &reason)
{
    if (failure)
        *failure = reason;
    return removal;
}

} // namespace

QList<QByteArray> namesIn(int handle, bool *complete)
{
    QList<QByteArray> names;
    *complete = false;
    const int listed = ::openat(handle, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *listing = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!listing) {
        if (listed >= 0)
            ::close(listed);
        return names;
    }
    errno = 0;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
        errno = 0;
    }
    *complete = errno == 0;
    ::closedir(listing);
    return names;
}

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

    // Judged where it stands: what is not the program's is never moved, so no crash can leave it
    // hidden under another name. A link is judged by its own status, and removing it never
    // touches what it points at.
    int handle = -1;
    if (!S_ISLNK(before.st_mode)) {
        const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (S_ISDIR(before.st_mode) ? O_DIRECTORY : 0);
        handle = ::openat(parent, entryName.constData(), flags);
        struct stat opened {};
        if (handle < 0 || ::fstat(handle, &opened) != 0 || !sameEntry(opened, before)) {
            if (handle >= 0)
                ::close(handle);
            return fail(failure, Removal::NotOurs, QStringLiteral("it changed while it was looked at"));
        }
        before = opened;
    }
    const auto closeHandle = [&handle] {
        if (handle >= 0)
            ::close(std::exchange(handle, -1));
    };
    if (!isOurs(handle, before)) {
        closeHandle();
        return fail(failure, Removal::NotOurs, QStringLiteral("the program did not make it"));
    }

    // Then moved aside: whatever goes below is what was judged, even if the name is taken again
    // meanwhile. Something else that took the name between the look and the move goes back.
    const QByteArray aside = asideNameFor(entryName);
    const QByteArray &removed = aside.isEmpty() ? entryName : aside;
    if (!aside.isEmpty() && ::renameat2(parent, entryName.constData(), parent, aside.constData(), RENAME_NOREPLACE) != 0) {
        const int error = errno;
        closeHandle();
        return fail(failure, Removal::Failed, systemErrorText(error));
    }
    const auto putBack = [&]() {
        if (!aside.isEmpty())
            ::renameat2(parent, aside.constData(), parent, entryName.constData(), RENAME_NOREPLACE);
    };
    struct stat moved {};
    if (::fstatat(parent, removed.constData(), &moved, AT_SYMLINK_NOFOLLOW) != 0 || !sameEntry(moved, before)) {
        closeHandle();
        putBack();
        return fail(failure, Removal::NotOurs, QStringLiteral("it changed while it was looked at"));
    }
    if (!S_ISDIR(before.st_mode)) {
        closeHandle();
        if (::unlinkat(parent, removed.constData(), 0) != 0) {
            const int error = errno;
            putBack();
            return fail(failure, Removal::Failed, systemErrorText(error));
        }
        return Removal::Removed;
    }
    const bool emptied = emptyFolder(std::exchange(handle, -1), 0);
    if (!emptied) {
        putBack();
        return fail(failure, Removal::Failed, QStringLiteral("not everything in it could be removed"));
    }
    if (::unlinkat(parent, removed.constData(), AT_REMOVEDIR) != 0) {
        const int error = errno;
        putBack();
        return fail(failure, Removal::Failed, systemErrorText(error));
    }
    return Removal::Removed;
}

bool removeWholeAt(int folder, const QByteArray &name)
{
    struct stat status {};
    if (::fstatat(folder, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(status.st_mode))
        return ::unlinkat(folder, name.constData(), 0) == 0;
    const int handle = ::openat(folder, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return handle >= 0 && emptyFolder(handle, 0) && ::unlinkat(folder, name.constData(), AT_REMOVEDIR) == 0;
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
