#include "Platform/linux/MimeApps.h"

#include "Platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>

namespace {

QStringList environmentDirectories(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return (value.isEmpty() ? fallback : value).split(u':', Qt::SkipEmptyParts);
}

// The "mimeapps.list" files, most important first.
QStringList mimeAppsLists()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty())
        configHome = QDir::homePath() + QStringLiteral("/.config");
    QStringList lists{configHome + QStringLiteral("/mimeapps.list")};
    for (const QString &dir : environmentDirectories("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")))
        lists.append(dir + QStringLiteral("/mimeapps.list"));
    for (const QString &dir : applicationDirectories())
        lists.append(dir + QStringLiteral("/mimeapps.list"));
    lists.removeDuplicates();
    return lists;
}

struct Associations {
    QList<DesktopEntry> defaults;
    QList<DesktopEntry> added;
    QSet<QString> removed; // "mime\ndesktop-id"
};

Associations readAssociations()
{
    Associations associations;
    for (const QString &list : mimeAppsLists()) {
        if (auto group = DesktopEntry::load(list, QStringLiteral("Default Applications")))
            associations.defaults.append(*group);
        if (auto group = DesktopEntry::load(list, QStringLiteral("Added Associations")))
            associations.added.append(*group);
        if (auto group = DesktopEntry::load(list, QStringLiteral("Removed Associations"))) {
            for (const QString &mime : group->keys()) {
                for (const QString &id : group->listValue(mime))
                    associations.removed.insert(mime + u'\n' + id);
            }
        }
    }
    return associations;
}

std::optional<QString> firstInstalled(const QList<DesktopEntry> &groups, const QString &mime, const Associations &associations)
{
    for (const DesktopEntry &group : groups) {
        for (const QString &id : group.listValue(mime)) {
            if (associations.removed.contains(mime + u'\n' + id))
                continue;
            if (auto path = installedDesktopEntryPath(id))
                return path;
        }
    }
    return std::nullopt;
}

struct DeclaredTypes {
    QString path;
    QString desktopID;
    QStringList mimeTypes;
};

// The installed applications with the types they declare, in folder order and then by name; an ID
// seen in a more important folder hides the same ID further down.
QList<DeclaredTypes> installedApplications()
{
    QList<DeclaredTypes> applications;
    for (const QString &path : firstDesktopEntryFiles(applicationDirectories())) {
        const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
        if (!entry || entry->boolean(QStringLiteral("Hidden"))
            || entry->value(QStringLiteral("Type")) != QLatin1String("Application"))
            continue;
        applications.append({path, QFileInfo(path).fileName(), entry->listValue(QStringLiteral("MimeType"))});
    }
    return applications;
}

std::optional<QString> firstDeclaring(const QList<DeclaredTypes> &applications, const QString &mime, const Associations &associations)
{
    for (const DeclaredTypes &application : applications) {
        if (application.mimeTypes.contains(mime) && !associations.removed.contains(mime + u'\n' + application.desktopID))
            return application.path;
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> defaultApplicationForMimeType(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return std::nullopt;
    // An application for a broader type ("text/plain" for C source) also opens the narrower one.
    QStringList candidates{mimeType};
    const QMimeType known = QMimeDatabase().mimeTypeForName(mimeType);
    if (known.isValid()) {
        if (known.name() != mimeType)
            candidates.append(known.name()); // the canonical name of an alias
        // Every type descends from raw bytes; a hex editor is no answer for a document.
        for (const QString &ancestor : known.allAncestors()) {
            if (ancestor != QLatin1String("application/octet-stream"))
                candidates.append(ancestor);
        }
    }
    const Associations associations = readAssociations();
    std::optional<QList<DeclaredTypes>> applications; // read only when no list names one
    for (const QString &candidate : candidates) {
        if (auto path = firstInstalled(associations.defaults, candidate, associations))
            return path;
        if (auto path = firstInstalled(associations.added, candidate, associations))
            return path;
        if (!applications)
            applications = installedApplications();
        if (auto path = firstDeclaring(*applications, candidate, associations))
            return path;
    }
    return std::nullopt;
}
