#include "Platform/dockstandin/ApplicationInfo.h"

#include "Platform/PropertyList.h"
#include "Platform/linux/DesktopApplicationBundles.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopExec.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// The unlocalised value: the Dock names its tiles as the entry's own "Name=" says.
QString valueOr(const DesktopEntry &entry, const QString &key, const QString &fallback)
{
    const QString value = entry.value(key);
    return value.isEmpty() ? fallback : value;
}

using PropertyList::stringIn;

std::optional<ApplicationInfo> fromDesktopEntry(const QString &path)
{
    const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
    if (!entry || entry->value(QStringLiteral("Type")) != QLatin1String("Application"))
        return std::nullopt;
    const QStringList command = desktopExecArguments(entry->value(QStringLiteral("Exec")));
    ApplicationInfo info;
    info.bundleIdentifier = QFileInfo(path).completeBaseName();
    info.name = valueOr(*entry, QStringLiteral("Name"), info.bundleIdentifier);
    info.icon = entry->value(QStringLiteral("Icon"));
    if (!command.isEmpty()) {
        info.program = command.first();
        info.arguments = command.mid(1);
    }
    return info;
}

std::optional<ApplicationInfo> fromBundle(const QString &path)
{
    ApplicationInfo info;
    info.name = QFileInfo(path).completeBaseName();
    const QVariantMap information = bundleInformationDictionary(path);
    const QString display = stringIn(information, QStringLiteral("CFBundleDisplayName"));
    const QString bundleName = stringIn(information, QStringLiteral("CFBundleName"));
    info.name = !display.isEmpty() ? display : !bundleName.isEmpty() ? bundleName : info.name;
    info.bundleIdentifier = stringIn(information, QStringLiteral("CFBundleIdentifier"));
    const QString executable = stringIn(information, QStringLiteral("CFBundleExecutable"));
    if (!executable.isEmpty() && !executable.contains(u'/'))
        info.program = path + QStringLiteral("/Contents/MacOS/") + executable;
    QString icon = stringIn(information, QStringLiteral("CFBundleIconFile"));
    if (!icon.isEmpty() && !icon.contains(u'/')) {
        if (QFileInfo(icon).suffix().isEmpty())
            icon += QStringLiteral(".icns");
        info.icon = path + QStringLiteral("/Contents/Resources/") + icon;
    }
    return info;
}

} // namespace

std::optional<ApplicationInfo> ApplicationInfo::fromPath(const QString &path)
{
    const QFileInfo file(path);
    if (path.endsWith(QLatin1String(".desktop")) && file.isFile())
        return fromDesktopEntry(path);
    if (path.endsWith(QLatin1String(".app")) && file.isDir())
        return fromBundle(path);
    return std::nullopt;
}

QStringList desktopExecArguments(const QString &exec)
{
    return desktopExecCommand(exec);
}

QList<DockTileEntry> offeredApplications(int maximum)
{
    struct Candidate {
        QString id;
        QString path;
        QString name;
        QStringList categories;
    };
    QList<Candidate> candidates;
    for (const QString &path : firstDesktopEntryFiles(applicationDirectories())) {
        const QFileInfo file(path);
        const std::optional<DesktopEntry> entry = DesktopEntry::load(file.absoluteFilePath());
        if (!entry || entry->value(QStringLiteral("Type")) != QLatin1String("Application")
            || entry->boolean(QStringLiteral("NoDisplay")) || entry->boolean(QStringLiteral("Hidden"))
            || desktopExecArguments(entry->value(QStringLiteral("Exec"))).isEmpty())
            continue;
        candidates.append({file.completeBaseName(), file.absoluteFilePath(),
                           valueOr(*entry, QStringLiteral("Name"), file.completeBaseName()),
                           entry->listValue(QStringLiteral("Categories"))});
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate &a, const Candidate &b) { return a.id < b.id; });
    QList<Candidate> chosen;
    for (const QString &category : {QStringLiteral("WebBrowser"), QStringLiteral("FileManager"),
                                   QStringLiteral("TerminalEmulator"), QStringLiteral("TextEditor")}) {
        for (qsizetype i = 0; i < candidates.size(); ++i) {
            if (candidates.at(i).categories.contains(category)) {
                chosen.append(candidates.takeAt(i));
                break;
            }
        }
    }
    chosen.append(candidates);
    QList<DockTileEntry> entries;
    for (const Candidate &candidate : std::as_const(chosen).mid(0, maximum))
        entries.append({DockTileEntry::Kind::Application, candidate.path, candidate.name, candidate.id});
    return entries;
}
