#include "Platform/linux/DesktopApplicationCatalog.h"

#include "Platform/linux/DesktopEntry.h"

#include <QDir>
#include <QMimeDatabase>
#include <QSet>

namespace {

void sortByName(QList<ApplicationCatalog::Application> &applications)
{
    std::sort(applications.begin(), applications.end(), [](const auto &a, const auto &b) {
        const int order = QString::localeAwareCompare(a.displayName, b.displayName);
        return order != 0 ? order < 0 : a.path < b.path;
    });
}

// Every MIME type files with this extension may have, with the types they inherit from and their
// aliases, so "text/markdown" also finds editors that open "text/plain".
QSet<QString> typesForExtension(const QString &extension)
{
    QSet<QString> types;
    if (extension.isEmpty())
        return types;
    const QMimeDatabase database;
    for (const QMimeType &type : database.mimeTypesForFileName(QStringLiteral("file.") + extension)) {
        types.insert(type.name());
        for (const QString &alias : type.aliases())
            types.insert(alias);
        for (const QString &parent : type.allAncestors()) {
            if (parent != QStringLiteral("application/octet-stream"))
                types.insert(parent);
        }
    }
    return types;
}

} // namespace

DesktopApplicationCatalog::DesktopApplicationCatalog(const QStringList &applicationFolders)
    : m_folders(applicationFolders.isEmpty() ? applicationDirectories() : applicationFolders)
{
}

QList<DesktopApplicationCatalog::Entry> DesktopApplicationCatalog::entries() const
{
    QList<Entry> found;
    for (const QString &path : firstDesktopEntryFiles(m_folders)) {
        const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
        if (!entry || entry->value(QStringLiteral("Type")) != QStringLiteral("Application") || entry->boolean(QStringLiteral("Hidden"))
            || entry->boolean(QStringLiteral("NoDisplay")) || entry->value(QStringLiteral("Exec")).isEmpty())
            continue;
        QString displayName = entry->localizedValue(QStringLiteral("Name"));
        if (displayName.isEmpty())
            displayName = QFileInfo(path).completeBaseName();
        found.append({{path, displayName}, entry->listValue(QStringLiteral("MimeType"))});
    }
    return found;
}

QList<ApplicationCatalog::Application> DesktopApplicationCatalog::applicationsOpening(const QString &extension) const
{
    const QSet<QString> types = typesForExtension(extension);
    QList<Application> applications;
    if (types.isEmpty())
        return applications;
    for (const Entry &entry : entries()) {
        const bool opens = std::any_of(entry.mimeTypes.cbegin(), entry.mimeTypes.cend(),
                                       [&](const QString &type) { return types.contains(type); });
        if (opens)
            applications.append(entry.application);
    }
    sortByName(applications);
    return applications;
}

QList<ApplicationCatalog::Application> DesktopApplicationCatalog::allApplications() const
{
    QList<Application> applications;
    for (const Entry &entry : entries())
        applications.append(entry.application);
    sortByName(applications);
    return applications;
}
