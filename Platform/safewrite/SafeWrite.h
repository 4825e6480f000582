#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <optional>

// Replacing a stored file must never leave less than was there: a full disk, a quota or a file-size
// limit often shows only when buffered bytes are flushed, after every write call has succeeded, and a
// save that then moved its short temporary file over the old one would empty the user's file. Every
// writer of a stored file goes through these.
namespace SafeWrite {

enum class Durability {
    Disk,    // synced to the disk before it replaces anything: the user's own data
    Rebuilt, // flushed and checked, not forced to disk: a file made again from stored data when needed
};

// Writes `bytes` to the open `device`, flushes them and (for Durability::Disk) syncs them to the disk;
// the reason when any of that failed. For writers handed an open QSaveFile, which must not be committed
// after a failure.
std::optional<QString> writeThrough(QFileDevice &device, const QByteArray &bytes, Durability durability = Durability::Disk);

enum class Folder {
    MustExist, // a missing folder is a failure: it may have been removed on purpose
    Make,      // a missing folder is made first
};

// Replaces the file at `path` by `bytes` all at once (a temporary file beside it, flushed, synced and
// then moved over it); on any failure the old file stays as it was and the reason is returned.
std::optional<QString> replaceFile(const QString &path, const QByteArray &bytes, Folder folder = Folder::MustExist,
                                   Durability durability = Durability::Disk);

} // namespace SafeWrite
