#include "Platform/linux/MimeApps.h"

#include "Platform/linux/DesktopEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>
#include <QThread>

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

// What the lists and the installed entries say, read once and then asked as often as needed.
struct Sources {
    std::optional<Associations> associations;
    std::optional<QList<DeclaredTypes>> applications;
};

std::optional<QString> lookUp(const QString &mimeType, Sources &sources);

// The answers by type, kept until one of the files they came from changes. Main thread only.
class DesktopIndex final : public QObject {
public:
    static DesktopIndex &shared()
    {
        static auto *index = new DesktopIndex(QCoreApplication::instance());
        return *index;
    }

    quint64 generation() const { return m_generation; }

    std::optional<QString> answer(const QString &mimeType)
    {
        const QStringList sources = mimeAppsLists() + applicationDirectories();
        if (sources != m_sources)
            reset(sources);
        const auto cached = m_answers.constFind(mimeType);
        if (cached != m_answers.cend())
            return *cached;
        const std::optional<QString> found = lookUp(mimeType, m_read);
        m_answers.insert(mimeType, found);
        return found;
    }

    void drop()
    {
        m_answers.clear();
        m_read = Sources();
        ++m_generation;
    }

private:
    explicit DesktopIndex(QObject *parent) : QObject(parent)
    {
        connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &DesktopIndex::changed);
        connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DesktopIndex::changed);
    }

    void changed()
    {
        // A file replaced by a new one is no longer watched under its name: watch everything again.
        reset(mimeAppsLists() + applicationDirectories());
    }

    void reset(const QStringList &sources)
    {
        drop();
        m_sources = sources;
        if (!m_watcher.files().isEmpty())
            m_watcher.removePaths(m_watcher.files());
        if (!m_watcher.directories().isEmpty())
            m_watcher.removePaths(m_watcher.directories());
        QStringList watched;
        for (const QString &source : sources) {
            // A list or a folder that is not there yet is noticed when it appears in the nearest
            // folder above it that is.
            QString path = source;
            while (!path.isEmpty() && !QFileInfo::exists(path) && path != QLatin1String("/"))
                path = QFileInfo(path).path();
            if (!path.isEmpty() && !watched.contains(path))
                watched.append(path);
            // A list that is there: a change of its contents, and its replacement in its folder.
            if (path == source && QFileInfo(source).isFile()) {
                const QString folder = QFileInfo(source).path();
                if (!watched.contains(folder))
                    watched.append(folder);
            }
        }
        if (!watched.isEmpty())
            m_watcher.addPaths(watched);
    }

    QFileSystemWatcher m_watcher;
    QStringList m_sources;
    QHash<QString, std::optional<QString>> m_answers;
    Sources m_read;
    quint64 m_generation = 0;
};

bool onMainThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

} // namespace

quint64 desktopEntriesGeneration()
{
    return onMainThread() ? DesktopIndex::shared().generation() : 0;
}

std::optional<QString> defaultApplicationForMimeType(const QString &mimeType)
{
    if (mimeType.isEmpty())
        return std::nullopt;
    if (onMainThread())
        return DesktopIndex::shared().answer(mimeType);
    Sources sources;
    return lookUp(mimeType, sources);
}

namespace {

std::optional<QString> lookUp(const QString &mimeType, Sources &sources)
{
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
    if (!sources.associations)
        sources.associations = readAssociations();
    const Associations &associations = *sources.associations;
    for (const QString &candidate : candidates) {
        if (auto path = firstInstalled(associations.defaults, candidate, associations))
            return path;
        if (auto path = firstInstalled(associations.added, candidate, associations))
            return path;
        if (!sources.applications) // read only when no list names one
            sources.applications = installedApplications();
        if (auto path = firstDeclaring(*sources.applications, candidate, associations))
            return path;
    }
    return std::nullopt;
}

} // namespace
