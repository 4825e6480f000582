#include "Platform/linux/DesktopEntry.h"

#include "Platform/BoundedFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace {

// Values may carry the escapes \s, \n, \t, \r and \\.
QString unescaped(const QString &value)
{
    if (!value.contains(u'\\'))
        return value;
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
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

} // namespace

std::optional<DesktopEntry> DesktopEntry::load(const QString &path, const QString &group)
{
    const std::optional<QByteArray> bytes = readSmallFile(path);
    if (!bytes)
        return std::nullopt;
    return parse(*bytes, group);
}

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray &bytes, const QString &group)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError() || text.contains(QChar(0)))
        return std::nullopt;
    DesktopEntry entry;
    const QString header = u'[' + group + u']';
    bool inGroup = false;
    bool sawGroup = false;
    const QStringList lines = text.split(u'\n');
    for (const QString &rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == header;
            sawGroup = sawGroup || inGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        // The first definition of a key counts.
        if (!entry.m_values.contains(key))
            entry.m_values.insert(key, unescaped(line.mid(equals + 1).trimmed()));
    }
    if (!sawGroup)
        return std::nullopt;
    return entry;
}

QString DesktopEntry::fileIdentifier(const QString &path)
{
    QString relative = QDir::cleanPath(path);
    const QString marker = QStringLiteral("/applications/");
    const qsizetype at = relative.lastIndexOf(marker);
    if (at >= 0)
        relative = relative.mid(at + marker.size()).replace(u'/', u'-');
    else
        relative = relative.mid(relative.lastIndexOf(u'/') + 1);
    if (relative.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        relative.chop(8);
    return relative;
}

QString DesktopEntry::value(const QString &key) const
{
    return m_values.value(key);
}

QString DesktopEntry::localizedValue(const QString &key) const
{
    const QString locale = QLocale().name(); // "pt_BR"
    const QStringList candidates{locale, locale.section(u'_', 0, 0)};
    for (const QString &candidate : candidates) {
        const QString localizedKey = key + u'[' + candidate + u']';
        if (!candidate.isEmpty() && m_values.contains(localizedKey))
            return m_values.value(localizedKey);
    }
    return value(key);
}

QStringList DesktopEntry::listValue(const QString &key) const
{
    return value(key).split(u';', Qt::SkipEmptyParts);
}

bool DesktopEntry::boolean(const QString &key) const
{
    return value(key) == QLatin1String("true");
}

QStringList applicationDirectories()
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList directories{dataHome + QStringLiteral("/applications")};
    for (const QString &dir : dataDirs.split(u':', Qt::SkipEmptyParts))
        directories.append(dir + QStringLiteral("/applications"));
    directories.removeDuplicates();
    return directories;
}

QStringList firstDesktopEntryFiles(const QStringList &folders)
{
    QStringList paths;
    QSet<QString> seen;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        for (const QString &name : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
            if (seen.contains(name))
                continue;
            seen.insert(name);
            paths.append(dir.filePath(name));
        }
    }
    return paths;
}

std::optional<QString> installedDesktopEntryPath(const QString &desktopID)
{
    if (desktopID.isEmpty() || desktopID.contains(u'/'))
        return std::nullopt;
    for (const QString &dir : applicationDirectories()) {
        const QString path = dir + u'/' + desktopID;
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

QString DesktopEntry::execArgument(const QString &argument)
{
    // A plain argument goes in bare: xdg-open's generic mode and some desktops take the Exec line
    // apart at spaces without reading quotes, and would run a quoted program name as it stands.
    static constexpr QStringView reserved = u" \t\n\"'\\><~|&;$*?#()`%=";
    const bool plain = !argument.isEmpty() && std::none_of(argument.cbegin(), argument.cend(), [](QChar c) {
        return reserved.contains(c) || c.unicode() < 0x20;
    });
    if (plain)
        return argument;
    QString escaped;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            escaped += u'\\';
        if (c == u'%')
            escaped += u'%';
        escaped += c;
    }
    // The value itself is a string of the key file: its backslashes are escaped once more.
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + escaped + u'"';
}
