#pragma once

#include "Platform/FileStamp.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the main thread knows of the files that items name (documents, folders, their openers):
// whether anything is there, a folder or a file, its stamp and its content type. The main thread
// never looks at those files: a popup of hundreds of documents would stat, open and sniff each one
// before it shows, and a path on a drive that is gone can keep it waiting. It answers from what is
// kept; the files are looked at on the icons' own thread (DecodedIcons::runBeside), a path first
// asked for and one kept longer than recheckAfterMs since it was last looked at, and what is new
// or changed is told through DecodedIcons::arrived with the path. Other threads look at once.
namespace SeenPaths {

inline constexpr qint64 recheckAfterMs = 1000;

struct Seen {
    FileStamp stamp;
    bool isDir = false;
    bool isFile = false;
    // The content type of what is there: "inode/directory" for a folder; empty when none is told.
    QString mimeType;
    friend bool operator==(const Seen &, const Seen &) = default;
};

// Looks at the path now, on the calling thread.
Seen look(const QString &path);

// What is known of the path now: on the main thread, what is kept (nothing before it was first
// looked at, when it is asked for beside); elsewhere, what the file is now.
std::optional<Seen> kept(const QString &path);

// From the main thread: has every path of `paths` looked at beside it now, kept or not, and runs
// `then` there for each with what it saw (fetching what the views will draw of it). Returns at once.
void prepare(const QStringList &paths, std::function<void(const QString &, const Seen &)> then = {});

} // namespace SeenPaths
