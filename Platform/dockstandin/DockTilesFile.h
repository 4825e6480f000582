#pragma once

#include <QList>
#include <QString>

// One tile kept in the Dock's preferences.
struct DockTileEntry {
    enum class Kind { Application, Folder, Document };

    Kind kind = Kind::Application;
    QString path; // absolute, without a trailing slash
    QString label; // "file-label"; may be empty
    QString bundleIdentifier;
};

// What the Dock draws, as its preferences file says.
struct DockSettings {
    QString orientation = QStringLiteral("bottom"); // "bottom", "left" or "right"
    bool autohide = false;
    bool hasPersistentApps = false;
    QList<DockTileEntry> applications;
    QList<DockTileEntry> others;
    // False when a file exists but is not a property-list dictionary; nothing of it is used then.
    bool readable = true;
};

// The Dock's preferences file, a binary property list kept by the platform in the user's
// Library/Preferences folder. Every program on the home writes it too: each change is made under the
// file's StoredFileLock, on the file as it stands then, so that nothing another writer stored is
// written over. The lock is asked for without waiting; while another writer holds it, a change says
// so and is asked for again later.
class DockTilesFile {
public:
    enum class Change {
        Written,
        Busy,   // another writer holds the lock: ask again later
        Failed, // the file cannot be read as a dictionary, or cannot be locked or written
        Kept,   // nothing to write: a first start found a file there, or the list holds no such tile
    };

    explicit DockTilesFile(QString path = defaultPath());

    static QString defaultPath();
    QString path() const { return m_path; }

    DockSettings read() const;

    // Takes the tile of `entry` out of its list (the first entry that points at the same path),
    // keeping every other key and entry. When the file has no "persistent-apps", the applications
    // the Dock offered in its place (`offeredApplications`) become the list, without the removed
    // one.
    Change removeTile(const DockTileEntry &entry, const QList<DockTileEntry> &offeredApplications) const;

    // A Dock's first start: with no preferences file yet, the applications it offers become the
    // kept "persistent-apps", so that programs reading the file see the tiles the Dock shows. Kept
    // when a file is there already (it is left alone).
    Change keepFirstApplications(const QList<DockTileEntry> &offeredApplications) const;

private:
    QString m_path;
};

// The path a tile's "_CFURLString" names: a file URL or an absolute path, cleaned and without a
// trailing slash; empty for anything else.
QString dockTilePathFromURLString(const QString &urlString);
