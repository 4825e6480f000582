#include "Platform/dockstandin/DockTilesFile.h"

#include "Platform/FileURL.h"
#include "Platform/PropertyList.h"
#include "Platform/safewrite/StoredFileLock.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

namespace {

Q_LOGGING_CATEGORY(tilesFileLog, "com.kestrowan.dock.preferences")

using PropertyList::mapIn;
using PropertyList::stringIn;

bool boolIn(const QVariantMap &dictionary, const QString &key)
{
    const QVariant value = dictionary.value(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    return value.typeId() == QMetaType::LongLong && value.toLongLong() != 0;
}

// An empty dictionary when there is no file or an empty one; nullopt when there is one that is not
// a dictionary.
std::optional<QVariantMap> rootOf(const std::optional<QByteArray> &bytes)
{
    return bytes ? PropertyList::storedDictionary(*bytes) : std::nullopt;
}

std::optional<DockTileEntry> entryOf(const QVariant &tile, bool inOthers)
{
    const QVariantMap tileDictionary = mapIn(tile);
    const QVariantMap tileData = mapIn(tileDictionary.value(QStringLiteral("tile-data")));
    const QString path = dockTilePathFromURLString(stringIn(mapIn(tileData.value(QStringLiteral("file-data"))), QStringLiteral("_CFURLString")));
    if (path.isEmpty())
        return std::nullopt;
    DockTileEntry entry;
    entry.path = path;
    entry.label = stringIn(tileData, QStringLiteral("file-label"));
    entry.bundleIdentifier = stringIn(tileData, QStringLiteral("bundle-identifier"));
    if (!inOthers)
        entry.kind = DockTileEntry::Kind::Application;
    else if (stringIn(tileDictionary, QStringLiteral("tile-type")) == QLatin1String("directory-tile") || QFileInfo(path).isDir())
        entry.kind = DockTileEntry::Kind::Folder;
    else
        entry.kind = DockTileEntry::Kind::Document;
    return entry;
}

QList<DockTileEntry> entriesOf(const QVariant &array, bool inOthers)
{
    QList<DockTileEntry> entries;
    if (array.typeId() != QMetaType::QVariantList)
        return entries;
    for (const QVariant &tile : array.toList()) {
        if (const std::optional<DockTileEntry> entry = entryOf(tile, inOthers))
            entries.append(*entry);
    }
    return entries;
}

QVariantMap applicationTile(const DockTileEntry &entry)
{
    const QVariantMap fileData{{QStringLiteral("_CFURLString"), QUrl::fromLocalFile(entry.path).toString(QUrl::FullyEncoded)},
                               {QStringLiteral("_CFURLStringType"), qint64(15)}};
    QVariantMap tileData{{QStringLiteral("file-data"), fileData}, {QStringLiteral("file-label"), entry.label}};
    if (!entry.bundleIdentifier.isEmpty())
        tileData.insert(QStringLiteral("bundle-identifier"), entry.bundleIdentifier);
    return {{QStringLiteral("tile-data"), tileData}, {QStringLiteral("tile-type"), QStringLiteral("file-tile")}};
}

} // namespace

QString dockTilePathFromURLString(const QString &urlString)
{
    QString path;
    if (urlString.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(urlString);
        const bool otherHost = !url.host().isEmpty() && url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0;
        if (!url.isValid() || !url.isLocalFile() || otherHost)
            return {};
        path = localPathOfFileURL(url);
    } else if (urlString.startsWith(u'/')) {
        path = urlString;
    }
    if (path.isEmpty() || path.contains(QChar(0)))
        return {};
    path = QDir::cleanPath(path);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

DockTilesFile::DockTilesFile(QString path)
    : m_path(std::move(path))
{
}

QString DockTilesFile::defaultPath()
{
    return QDir::homePath() + QStringLiteral("/Library/Preferences/com.apple.dock.plist");
}

DockSettings DockTilesFile::read() const
{
    DockSettings settings;
    const std::optional<QVariantMap> root = rootOf(PropertyList::readStoredFile(m_path));
    if (!root) {
        qCWarning(tilesFileLog, "The Dock preferences %s are not a property-list dictionary; drawing no kept tiles",
                  qPrintable(m_path));
        settings.readable = false;
        return settings;
    }
    const QString orientation = stringIn(*root, QStringLiteral("orientation")).toLower();
    if (orientation == QLatin1String("left") || orientation == QLatin1String("right"))
        settings.orientation = orientation;
    settings.autohide = boolIn(*root, QStringLiteral("autohide"));
    const QVariant apps = root->value(QStringLiteral("persistent-apps"));
    settings.hasPersistentApps = apps.typeId() == QMetaType::QVariantList;
    settings.applications = entriesOf(apps, false);
    settings.others = entriesOf(root->value(QStringLiteral("persistent-others")), true);
    return settings;
}

namespace {

// The lock every writer of the file holds from its look at it until the new file is in place.
std::optional<DockTilesFile::Change> lockFailure(const StoredFileLock &lock, const QString &path)
{
    if (lock.isHeld())
        return std::nullopt;
    if (lock.state() == StoredFileLock::State::HeldElsewhere)
        return DockTilesFile::Change::Busy;
    qCWarning(tilesFileLog, "The Dock preferences %s cannot be locked: %s", qPrintable(path), qPrintable(lock.failure()));
    return DockTilesFile::Change::Failed;
}

DockTilesFile::Change written(bool stored)
{
    return stored ? DockTilesFile::Change::Written : DockTilesFile::Change::Failed;
}

} // namespace

namespace {

// The lock file lies beside the preferences: a home without their folder gets it, as a write would.
StoredFileLock lockFor(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return StoredFileLock::tryLock(path);
}

} // namespace

DockTilesFile::Change DockTilesFile::keepFirstApplications(const QList<DockTileEntry> &offeredApplications) const
{
    const StoredFileLock lock = lockFor(m_path);
    if (const std::optional<Change> failure = lockFailure(lock, m_path))
        return *failure;
    // Looked at under the lock: a program that wrote the first file meanwhile keeps it.
    if (QFileInfo::exists(m_path) || QFileInfo(m_path).isSymLink())
        return Change::Kept;
    QVariantList tiles;
    for (const DockTileEntry &offered : offeredApplications)
        tiles.append(applicationTile(offered));
    const std::optional<QByteArray> bytes = PropertyList::withKeyReplaced(QByteArray(), QStringLiteral("persistent-apps"), tiles);
    return written(bytes && PropertyList::writeBytesAtomically(m_path, *bytes));
}

DockTilesFile::Change DockTilesFile::removeTile(const DockTileEntry &entry, const QList<DockTileEntry> &offeredApplications) const
{
    const StoredFileLock lock = lockFor(m_path);
    if (const std::optional<Change> failure = lockFailure(lock, m_path))
        return *failure;
    const std::optional<QByteArray> stored = PropertyList::readStoredFile(m_path);
    const std::optional<QVariantMap> root = rootOf(stored);
    if (!root)
        return Change::Failed;
    const bool application = entry.kind == DockTileEntry::Kind::Application;
    const QString key = application ? QStringLiteral("persistent-apps") : QStringLiteral("persistent-others");
    QVariantList tiles;
    if (const QVariant kept = root->value(key); kept.typeId() == QMetaType::QVariantList) {
        tiles = kept.toList();
    } else {
        if (!application)
            return Change::Kept;
        for (const DockTileEntry &offered : offeredApplications)
            tiles.append(applicationTile(offered));
    }
    for (qsizetype i = 0; i < tiles.size(); ++i) {
        const std::optional<DockTileEntry> kept = entryOf(tiles.at(i), !application);
        if (kept && kept->path == entry.path) {
            tiles.removeAt(i);
            break;
        }
    }
    // Edited in the stored tree, so every other value goes back byte for byte.
    const std::optional<QByteArray> bytes = PropertyList::withKeyReplaced(*stored, key, tiles);
    return written(bytes && PropertyList::writeBytesAtomically(m_path, *bytes));
}
