#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <functional>
#include <optional>

// Replacing a stored file must never leave less than was there: a full disk, a quota or a file-size
// limit often shows only when buffered bytes are flushed, after every write call has succeeded, and a
// save that then moved its short temporary file over the old one would empty the user's file. Every
// writer of a stored file goes through these.
//
// Only a regular file is ever replaced. A stored file may be a symbolic link (settings kept in a
// dotfiles folder): the file it names is replaced and the link stays. A device, fifo, socket or folder
// in a stored file's place, named directly or through links, is refused and logged: moving a file over
// it would destroy what the system keeps there.
namespace SafeWrite {

enum class Durability {
    Disk,    // synced to the disk before it replaces anything: the user's own data
    Rebuilt, // flushed and checked, not forced to disk: a file made again from stored data when needed
};

// Writes `bytes` to the open `device`, flushes them and (for Durability::Disk) syncs them to the disk;
// the reason when any of that failed.
std::optional<QString> writeThrough(QFileDevice &device, const QByteArray &bytes, Durability durability = Durability::Disk);

enum class Folder {
    MustExist, // a missing folder is a failure: it may have been removed on purpose
    Make,      // a missing folder is made first
};

// The file that writing `path` would replace, its links followed: `path` itself, or the end of its
// chain of links; or why nothing there may be replaced (not a regular file, a loop of links).
struct Target {
    QString path;
    std::optional<QString> refusal;
};
Target replaceableTarget(const QString &path);

// Told the name of each temporary file, in the target's folder, before it is made under that name;
// false stops the write. A writer whose folder keeps a record of what the program made there names
// its temporaries in it, so that what a kill leaves of one is known as the program's.
using TemporaryNaming = std::function<bool(const QByteArray &name)>;

// Replaces the file at `path` (or the regular file its links name) by `bytes` all at once (a
// temporary file beside it, flushed, synced and then moved over it); on any failure the old file
// stays as it was and the reason is returned, with the system's error number in `error` when there
// is one (ENOSPC for a full disk). What is replaced is what was checked: the work goes through the
// folder as it was opened, the file keeps the permissions it had when it was looked at, and a fifo,
// device or folder moved into its place meanwhile is put back, never replaced.
std::optional<QString> replaceFile(const QString &path, const QByteArray &bytes, Folder folder = Folder::MustExist,
                                   Durability durability = Durability::Disk, int *error = nullptr,
                                   const TemporaryNaming &naming = {});

// Makes a new file at `path` holding `bytes`, written beside and put in place only while nothing
// stands there: whatever appeared under the name meanwhile stays, and the answer is EEXIST in
// `error`. Never replaces anything.
std::optional<QString> createFile(const QString &path, const QByteArray &bytes, Durability durability = Durability::Disk,
                                  int *error = nullptr, const TemporaryNaming &naming = {});

// Writes as on a file system that cannot make unnamed files (network homes): every new file is
// named from its start. For tests of what a kill leaves there.
void refuseUnnamedFiles(bool refuse);
// Told the path of each named temporary file as soon as it is made, before anything is written to
// it: tests stop the program there, as a kill at that moment would.
void watchNamedTemporaries(std::function<void(const QString &path)> watcher);
// Tells that watcher of a named temporary made by another writer (the records' own, written
// beside each record), so that tests reach its moment too.
void tellNamedTemporary(const QString &path);

enum class Existing {
    Refuse,  // a file already at the target is a failure and is left alone
    Replace, // a regular file at the target is replaced at once
};

// Told after each chunk with the bytes copied so far; false stops the copy.
using CopyProgress = std::function<bool(qint64 copied)>;

// Copies the regular file `source` (links followed) to `target` with its permissions: written
// beside the target, flushed, synced for Durability::Disk and closed with every step checked, then
// put in place whole. On any failure or stop nothing new is left at `target` and the reason is
// returned, with the system's error number in `error` when there is one (ENOSPC for a full disk).
std::optional<QString> copyFile(const QString &source, const QString &target, Existing existing = Existing::Refuse,
                                Durability durability = Durability::Disk, const CopyProgress &progress = {},
                                int *error = nullptr, const TemporaryNaming &naming = {});

// The most a copy made for safety's sake may take in `folder`: half of the space free there, and no
// more than this process may write into one file. Such a copy must not fill the disk itself.
qint64 spareBytes(const QString &folder);

// Whether the two regular files hold the same bytes; read a chunk at a time, so a large file costs no
// memory.
bool sameContents(const QString &first, const QString &second);

} // namespace SafeWrite
