#pragma once

#include "Platform/DockPreferences.h"
#include "Platform/FileStamp.h"

#include <QMutex>

// The domain as the binary property list "$HOME/Library/Preferences/com.apple.dock.plist", the file
// the stand-in Dock draws from. HOME is read at every call, so the domain follows the environment.
// Writes go to a temporary file beside it that is then renamed over it: a reader, or a crash in
// the middle, sees the old file or the new one, never a part of one.
//
// Cards ask whether their folder is in the Dock on every redraw, so the last parse is kept and used
// again while the file's identity, size, and change times are those it was parsed from.
class DockPreferencesFile : public DockPreferences {
public:
    static QString filePath();

    std::optional<QVariantMap> read() const override;
    bool write(const QString &key, const QVariant &value, int *error = nullptr) override;
    // The stored file's StoredFileLock, the one the stand-in Dock takes too; the folder is made for
    // it when missing.
    StoredFileLock lockForChange() override;
    // The file's identity and times. The file looked at last is kept open, so that the system
    // cannot give its inode to the next file stored there while an answer about it is compared.
    QByteArray storedVersion() override;
    ~DockPreferencesFile() override;

private:
    // The home, and with it the path, can change between two reads.
    struct ParsedFile {
        QString path;
        FileStamp stamp;
        friend bool operator==(const ParsedFile &, const ParsedFile &) = default;
    };
    // The file's bytes: empty when there is no file (a file of no bytes holds nothing either),
    // nullopt, logged, when it is not a regular file of a sane size or cannot be read.
    static std::optional<QByteArray> storedBytes(const QString &path);

    mutable QMutex m_cacheMutex;
    mutable std::optional<ParsedFile> m_cachedFile;
    mutable std::optional<QVariantMap> m_cachedDomain;
    int m_versionedFile = -1;
};
