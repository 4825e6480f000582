#include "Platform/dockstandin/ApplicationInfo.h"

#include "Platform/dockstandin/PlistText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QStandardPaths>

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Desktop entries and Info.plist files are a few KiB.
constexpr qint64 maximumDescriptionSize = 1024 * 1024;

QString unescapeDesktopValue(const QString &value)
{
    QString result;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 >= value.size()) {
            result.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's': result.append(u' '); break;
        case 'n': result.append(u'\n'); break;
        case 't': result.append(u'\t'); break;
        case 'r': result.append(u'\r'); break;
        default: result.append(next); break;
        }
    }
    return result;
}

// The keys of the "[Desktop Entry]" group, unlocalised.
QHash<QString, QString> desktopEntryKeys(const QString &path)
{
    QHash<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumDescriptionSize)
        return keys;
    bool inEntry = false;
    for (const QByteArray &rawLine : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inEntry || line.startsWith(u'#') || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!key.contains(u'[') && !keys.contains(key))
            keys.insert(key, unescapeDesktopValue(line.mid(equals + 1).trimmed()));
    }
    return keys;
}

QString plistString(plist_t dictionary, const char *key)
{
    return plistText(plist_dict_get_item(dictionary, key));
}

std::optional<ApplicationInfo> fromDesktopEntry(const QString &path)
{
    const QHash<QString, QString> keys = desktopEntryKeys(path);
    if (keys.value(QStringLiteral("Type")) != QLatin1String("Application"))
        return std::nullopt;
    const QStringList command = desktopExecArguments(keys.value(QStringLiteral("Exec")));
    ApplicationInfo info;
    info.name = keys.value(QStringLiteral("Name"), QFileInfo(path).completeBaseName());
    info.bundleIdentifier = QFileInfo(path).completeBaseName();
    info.icon = keys.value(QStringLiteral("Icon"));
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
    QFile file(path + QStringLiteral("/Contents/Info.plist"));
    if (file.open(QIODevice::ReadOnly) && file.size() <= maximumDescriptionSize) {
        const QByteArray bytes = file.readAll();
        plist_t root = nullptr;
        if (!bytes.isEmpty())
            plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
        if (root && plist_get_node_type(root) == PLIST_DICT) {
            const QString display = plistString(root, "CFBundleDisplayName");
            const QString bundleName = plistString(root, "CFBundleName");
            info.name = !display.isEmpty() ? display : !bundleName.isEmpty() ? bundleName : info.name;
            info.bundleIdentifier = plistString(root, "CFBundleIdentifier");
            const QString executable = plistString(root, "CFBundleExecutable");
            if (!executable.isEmpty() && !executable.contains(u'/'))
                info.program = path + QStringLiteral("/Contents/MacOS/") + executable;
            QString icon = plistString(root, "CFBundleIconFile");
            if (!icon.isEmpty() && !icon.contains(u'/')) {
                if (QFileInfo(icon).suffix().isEmpty())
                    icon += QStringLiteral(".icns");
                info.icon = path + QStringLiteral("/Contents/Resources/") + icon;
            }
        }
        if (root)
            plist_free(root);
    }
    return info;
}

QStringList applicationFolders()
{
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
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

QImage ApplicationInfo::iconImage(int size) const
{
    if (icon.isEmpty())
        return {};
    if (icon.startsWith(u'/')) {
        QImage image(icon);
        if (image.isNull() && icon.endsWith(QLatin1String(".icns")))
            image = QImage(icon.chopped(5) + QStringLiteral(".png"));
        return image.isNull() ? image : image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    const QIcon themed = QIcon::fromTheme(icon);
    if (!themed.isNull())
        return themed.pixmap(size, size).toImage();
    for (const QString &suffix : {QStringLiteral(".png"), QStringLiteral(".svg"), QStringLiteral(".xpm")}) {
        const QImage image(QStringLiteral("/usr/share/pixmaps/") + icon + suffix);
        if (!image.isNull())
            return image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return {};
}

QStringList desktopExecArguments(const QString &exec)
{
    QStringList words;
    QString current;
    bool inQuotes = false;
    bool inWord = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size())
                current.append(exec.at(++i));
            else if (c == u'"')
                inQuotes = false;
            else
                current.append(c);
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words.append(current);
            current.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == u'"')
                inQuotes = true;
            else
                current.append(c);
        }
    }
    if (inQuotes)
        return {};
    if (inWord)
        words.append(current);
    QStringList arguments;
    for (const QString &word : std::as_const(words)) {
        // A word that is only a field code stands for files or URLs the Dock does not pass.
        if (word.size() == 2 && word.startsWith(u'%') && word != QLatin1String("%%"))
            continue;
        QString argument;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word.at(i) == u'%' && i + 1 < word.size()) {
                if (word.at(++i) == u'%')
                    argument.append(u'%');
                continue;
            }
            argument.append(word.at(i));
        }
        arguments.append(argument);
    }
    return arguments;
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
    QStringList seen;
    for (const QString &folder : applicationFolders()) {
        const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name);
        for (const QFileInfo &file : files) {
            if (seen.contains(file.fileName()))
                continue;
            seen.append(file.fileName());
            const QHash<QString, QString> keys = desktopEntryKeys(file.absoluteFilePath());
            if (keys.value(QStringLiteral("Type")) != QLatin1String("Application")
                || keys.value(QStringLiteral("NoDisplay")) == QLatin1String("true")
                || keys.value(QStringLiteral("Hidden")) == QLatin1String("true")
                || desktopExecArguments(keys.value(QStringLiteral("Exec"))).isEmpty())
                continue;
            candidates.append({file.completeBaseName(), file.absoluteFilePath(),
                               keys.value(QStringLiteral("Name"), file.completeBaseName()),
                               keys.value(QStringLiteral("Categories")).split(u';', Qt::SkipEmptyParts)});
        }
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
