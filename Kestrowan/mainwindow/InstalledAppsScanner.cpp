#include "Kestrowan/mainwindow/InstalledAppsScanner.h"

#include "Platform/ApplicationBundles.h"
#include "Platform/linux/DesktopEntry.h"

#include <QCollator>
#include <QDir>
#include <QThread>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace {

enum class RootKind { Bundles, DesktopEntries };

class Walk {
public:
    QList<AppItem> apps;

    void walkRoot(const QString &root, RootKind kind)
    {
        if (!QFileInfo::exists(root))
            return;
        walkFolder(root, kind);
    }

private:
    QSet<QString> m_seenIdentifiers;
    // Folders already walked, by their resolved path: a link back up the tree, or two links to one
    // folder, is walked once.
    QSet<QString> m_walkedFolders;

    void walkFolder(const QString &folder, RootKind kind)
    {
        // A program on its way out stops the walk; what was found is not used.
        if (QThread::currentThread()->isInterruptionRequested())
            return;
        const QString resolved = QFileInfo(folder).canonicalFilePath();
        if (resolved.isEmpty() || m_walkedFolders.contains(resolved))
            return;
        m_walkedFolders.insert(resolved);
        // Hidden names are neither listed nor entered; the name order makes the walk the same on
        // every file system, which decides which of two copies inside one root is kept.
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
        for (const QFileInfo &entry : entries) {
            const QString name = entry.fileName();
            if (kind == RootKind::Bundles && name.endsWith(QLatin1String(".app"))) {
                // A bundle is never entered, so a bundle inside a bundle is never found.
                if (entry.isDir())
                    addBundle(entry.filePath(), name);
            } else if (kind == RootKind::DesktopEntries && name.endsWith(QLatin1String(".desktop"))) {
                if (entry.isFile())
                    addDesktopEntry(entry.filePath(), name);
            } else if (entry.isDir()) {
                walkFolder(entry.filePath(), kind);
            }
        }
    }

    bool claim(const QString &identifier)
    {
        if (identifier.isEmpty() || m_seenIdentifiers.contains(identifier))
            return false;
        m_seenIdentifiers.insert(identifier);
        return true;
    }

    void addBundle(const QString &path, const QString &fileName)
    {
        const std::optional<ApplicationBundle> bundle = ApplicationBundles::shared().bundleAt(path);
        if (!bundle || !bundle->bundleIdentifier || !claim(*bundle->bundleIdentifier))
            return;
        QString name = fileName.chopped(4);
        for (const char *key : {"CFBundleDisplayName", "CFBundleName"}) {
            const QVariant value = bundle->informationValue(QLatin1String(key));
            if (value.metaType().id() == QMetaType::QString) {
                name = value.toString();
                break;
            }
        }
        apps.append({QUuid::createUuid(), *bundle->bundleIdentifier, name, path});
    }

    void addDesktopEntry(const QString &path, const QString &fileName)
    {
        const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
        // An entry that is not an application, marked deleted ("Hidden") or kept out of menus
        // ("NoDisplay", helpers and handlers) is nothing a user would pick.
        if (!entry || entry->value(QStringLiteral("Type")) != QLatin1String("Application")
            || entry->boolean(QStringLiteral("Hidden")) || entry->boolean(QStringLiteral("NoDisplay")))
            return;
        const QString identifier = DesktopEntry::fileIdentifier(path);
        if (!claim(identifier))
            return;
        QString name = entry->localizedValue(QStringLiteral("Name"));
        if (name.isEmpty())
            name = fileName.chopped(8);
        apps.append({QUuid::createUuid(), identifier, name, path});
    }
};

} // namespace

InstalledAppsRoots InstalledAppsRoots::standard()
{
    return {{QStringLiteral("/Applications"), QStringLiteral("/System/Applications"),
             QDir::homePath() + QStringLiteral("/Applications")},
            applicationDirectories()};
}

QList<AppItem> InstalledAppsScanner::scanApplications(const InstalledAppsRoots &roots)
{
    Walk walk;
    for (const QString &root : roots.bundleRoots)
        walk.walkRoot(root, RootKind::Bundles);
    for (const QString &root : roots.desktopEntryRoots)
        walk.walkRoot(root, RootKind::DesktopEntries);
    sortByName(walk.apps);
    return walk.apps;
}

void InstalledAppsScanner::sortByName(QList<AppItem> &apps)
{
    // The C locale of a bare session collates by code point, which would put "Äpfel" after "Zoo";
    // users of any language expect letters with marks beside their base letter.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(apps.begin(), apps.end(),
                     [&collator](const AppItem &a, const AppItem &b) { return collator.compare(a.name, b.name) < 0; });
}
