#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct stat;

// Removing what the program made, and nothing else. The folder an entry is removed from is opened
// without following a link (a folder of the user's linked in its place is never emptied), the entry
// is judged where it stands, and only one judged the program's is moved aside under a name of the
// program's that carries its own (so nothing swapped in after the check is removed); a folder is emptied through descriptors, one
// level at a time, from a list of its names read first, never following a link inside it.
namespace OwnFiles {

// Whether the entry, open as `descriptor` and described by `status`, is one the program made. A
// symbolic link is never opened: it comes with -1, described by its own status.
using Ownership = std::function<bool(int descriptor, const struct stat &status)>;

enum class Removal {
    Removed,
    Absent,    // nothing of that name
    NotOurs,   // something the program did not make, left where it was
    Failed,    // the folder could not be opened (a link in its place included) or the removal failed
};

// Removes `name` from `folder`, with everything in it when it is a folder, when `isOurs` says the
// program made it. A regular file or a folder only: a link, a device, a fifo or a socket is
// never the program's. `failure` gets the reason of Failed and NotOurs.
Removal removeEntry(const QString &folder, const QString &name, const Ownership &isOurs, QString *failure = nullptr);

// The same in the folder open as `folder`, where a symbolic link may be the program's too: when
// `isOurs` says so, the link itself goes, never what it points at.
Removal removeEntryAt(int folder, const QByteArray &name, const Ownership &isOurs, QString *failure = nullptr);

// Removes the entry `name` of the open folder `folder` with everything in it, never following a
// link: for a temporary folder the program alone knows of. Whether it went.
bool removeWholeAt(int folder, const QByteArray &name);

// The names in the open folder `handle` (without "." and ".."), read whole before anything in it
// changes: removing entries while the listing is read may make it skip others. `complete` tells
// whether the whole listing was read.
QList<QByteArray> namesIn(int handle, bool *complete);

// Opens the folder at `path` for removals through its descriptor (-1, errno set, when it cannot be):
// never when it is itself a link. `throughLink` tells whether a folder on the way to it is a link,
// when the folder lies elsewhere than its path says.
int openFolder(const QString &path, bool *throughLink);

// The mark a cached thumbnail carries (an extended attribute of its own), set on the entry at
// `path` itself, never through a link; and whether the open entry carries it. A file system
// without such attributes marks nothing: its entries are then never taken for the program's. An
// earlier version marked installed skins so; its marks say which entries it installed.
bool mark(const QString &path, const QByteArray &kind);
bool isMarked(int descriptor, const QByteArray &kind);

} // namespace OwnFiles
