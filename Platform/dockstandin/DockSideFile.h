#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A small file the Dock keeps beside its socket for the Dock that comes after it. It is read only
// as a regular file of this user's own, never through a link nor when another name shares it, and
// written as a new file moved into its name: a file linked from elsewhere is never written into,
// nor has its mode changed. What it says is made again at once, so it is not forced to the disk.
namespace DockSideFile {

// The bytes, or nullopt with the reason (empty when there is no file at all).
std::optional<QByteArray> read(const QString &path, qint64 maximumSize, QString *why);
// False, with the reason, when it could not be replaced; a link, fifo or folder in its place is left.
bool write(const QString &path, const QByteArray &bytes, QString *why);

} // namespace DockSideFile
