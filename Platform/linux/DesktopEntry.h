#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// A freedesktop desktop entry: the "[Desktop Entry]" group of a ".desktop" file. Only one group is
// kept; other groups (actions) are skipped. Files of the same key-file format ("mimeapps.list") are
// read a group at a time.
class DesktopEntry {
public:
    static inline const QString mainGroup = QStringLiteral("Desktop Entry");

    // Nullopt for a file that cannot be read, is too large, is not UTF-8 text or lacks the group.
    static std::optional<DesktopEntry> load(const QString &path, const QString &group = mainGroup);
    static std::optional<DesktopEntry> parse(const QByteArray &bytes, const QString &group = mainGroup);

    // The desktop file ID of the entry at `path`: its path below an "applications" folder with "/"
    // turned into "-", else its file name; without ".desktop" in both cases.
    static QString fileIdentifier(const QString &path);
    // One argument of an Exec= value, as written into a file: quoted, with the characters the
    // format reserves escaped (and the file's own backslash escaping applied), "%" doubled.
    static QString execArgument(const QString &argument);

    // The raw value; empty when absent.
    QString value(const QString &key) const;
    // The value for the user's language ("Name[pt_BR]", then "Name[pt]"), else the plain key.
    QString localizedValue(const QString &key) const;
    // A ";"-separated list value.
    QStringList listValue(const QString &key) const;
    bool boolean(const QString &key) const;
    QStringList keys() const { return m_values.keys(); }

private:
    QMap<QString, QString> m_values;
};

// The folders where desktop entries are installed, most important first: the user's own
// ($XDG_DATA_HOME/applications), then each of $XDG_DATA_DIRS.
QStringList applicationDirectories();

// The "*.desktop" files right in `folders`, in folder order and then by name; a file name seen in an
// earlier folder hides the same name further down.
QStringList firstDesktopEntryFiles(const QStringList &folders);

// The installed entry for a desktop file ID ("org.example.App.desktop") from the most important
// folder; nullopt when none is installed or the ID names a path.
std::optional<QString> installedDesktopEntryPath(const QString &desktopID);
