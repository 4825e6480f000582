#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The desktop's choice of application for a MIME type (or "x-scheme-handler/<scheme>"), as the
// freedesktop "mimeapps.list" files and the installed desktop entries give it. The answer is the path
// of the application's desktop entry.
//
// What the lists and the entries say is read once into an index kept on the main thread and read
// again only when one of those files or folders changes (a file-system watch) or the XDG folders
// the environment names are different; elsewhere every call reads the files.
std::optional<QString> defaultApplicationForMimeType(const QString &mimeType);

// Goes up by one whenever the index of the desktop's entries and lists is dropped; what is cached
// from desktop entries (their icons) is stale when it has changed.
quint64 desktopEntriesGeneration();
