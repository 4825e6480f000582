#include "Kestrowan/shell/ResourceBundle.h"

#include "Kestrowan/shell/StringsTable.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

namespace {

const QString tableName = QStringLiteral("Localizable.strings");

QString &packagedPath()
{
    static QString path = QStringLiteral(":/Kestrowan_Kestrowan.bundle");
    return path;
}

// Tables are parsed once per file and kept for the life of the process.
StringsTable cachedTable(const QString &file)
{
    static QMutex mutex;
    static QHash<QString, StringsTable> tables;
    QMutexLocker lock(&mutex);
    auto found = tables.find(file);
    if (found == tables.end())
        found = tables.insert(file, StringsTable::load(file));
    return *found;
}

} // namespace

ResourceBundle::ResourceBundle(const QString &path)
    : m_path(QDir::cleanPath(path))
{
}

ResourceBundle ResourceBundle::packaged()
{
    return ResourceBundle(packagedPath());
}

void ResourceBundle::setPackagedPath(const QString &path)
{
    packagedPath() = path;
}

bool ResourceBundle::isValid() const
{
    return !m_path.isEmpty() && QFileInfo(m_path).isDir();
}

ResourceBundle ResourceBundle::languageFolder(const QString &name) const
{
    if (!isValid() || name.isEmpty())
        return {};
    ResourceBundle folder(m_path + QLatin1Char('/') + name + QStringLiteral(".lproj"));
    return folder.isValid() ? folder : ResourceBundle();
}

bool ResourceBundle::hasStringsFor(const QString &localization) const
{
    return QFileInfo::exists(languageFolder(localization).path() + QLatin1Char('/') + tableName);
}

QStringList ResourceBundle::tablePaths(const QStringList &preferredLanguages) const
{
    // Every text lookup asks this; the bundles' contents never change while the program runs, so
    // the answer is worked out once per bundle and language list instead of probing files each time.
    static QMutex mutex;
    static QHash<QString, QStringList> known;
    const QString cacheKey = m_path + QLatin1Char('\n') + preferredLanguages.join(QLatin1Char(','));
    {
        QMutexLocker lock(&mutex);
        const auto found = known.constFind(cacheKey);
        if (found != known.cend())
            return *found;
    }
    const QStringList files = findTablePaths(preferredLanguages);
    QMutexLocker lock(&mutex);
    known.insert(cacheKey, files);
    return files;
}

QStringList ResourceBundle::findTablePaths(const QStringList &preferredLanguages) const
{
    if (!isValid())
        return {};
    const QString direct = m_path + QLatin1Char('/') + tableName;
    if (m_path.endsWith(QStringLiteral(".lproj")) || QFileInfo::exists(direct))
        return {direct};
    QStringList candidates;
    for (const QString &language : preferredLanguages) {
        candidates << language << language.toLower();
        // "pt-BR" falls back to "pt", "zh-Hans-CN" to "zh-Hans".
        const QStringList parts = language.split(QLatin1Char('-'));
        for (qsizetype n = parts.size() - 1; n >= 1; --n)
            candidates << parts.mid(0, n).join(QLatin1Char('-'));
    }
    candidates << QStringLiteral("en");
    candidates.removeDuplicates();
    QStringList files;
    for (const QString &candidate : candidates) {
        const QString file = m_path + QLatin1Char('/') + candidate + QStringLiteral(".lproj/") + tableName;
        if (QFileInfo::exists(file))
            files << file;
    }
    return files;
}

QString ResourceBundle::localizedString(const QString &key, const QString &defaultValue, const QStringList &preferredLanguages) const
{
    // The best-matching language first; a text missing there is taken from the next language the
    // user understands, English last, rather than showing a bare key.
    for (const QString &file : tablePaths(preferredLanguages)) {
        const StringsTable table = cachedTable(file);
        const auto found = table.entries.constFind(key);
        if (found != table.entries.cend())
            return *found;
    }
    return defaultValue;
}
