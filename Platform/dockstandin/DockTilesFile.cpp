#include "Platform/dockstandin/DockTilesFile.h"

#include "Platform/dockstandin/PlistText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QUrl>

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

namespace {

Q_LOGGING_CATEGORY(tilesFileLog, "com.kestrowan.dock.preferences")

// Property lists of the Dock are small; anything far larger is not one.
constexpr qint64 maximumFileSize = 16 * 1024 * 1024;

struct PlistFree {
    void operator()(void *node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistOwner = std::unique_ptr<void, PlistFree>;

plist_t dictionaryItem(plist_t dictionary, const char *key)
{
    if (!dictionary || plist_get_node_type(dictionary) != PLIST_DICT)
        return nullptr;
    return plist_dict_get_item(dictionary, key);
}

bool boolValue(plist_t node)
{
    if (!node)
        return false;
    if (plist_get_node_type(node) == PLIST_BOOLEAN) {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    if (plist_get_node_type(node) == PLIST_UINT) {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return value != 0;
    }
    return false;
}

// nullptr when there is no file; a dictionary, or an error, otherwise.
PlistOwner readRoot(const QString &path, bool *unreadable)
{
    *unreadable = false;
    QFile file(path);
    if (!file.exists())
        return nullptr;
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumFileSize) {
        *unreadable = true;
        return nullptr;
    }
    const QByteArray bytes = file.readAll();
    plist_t root = nullptr;
    if (!bytes.isEmpty())
        plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    PlistOwner owner(root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        *unreadable = true;
        return nullptr;
    }
    return owner;
}

std::optional<DockTileEntry> entryOf(plist_t tile, bool inOthers)
{
    plist_t tileData = dictionaryItem(tile, "tile-data");
    const QString path = dockTilePathFromURLString(plistText(dictionaryItem(dictionaryItem(tileData, "file-data"), "_CFURLString")));
    if (path.isEmpty())
        return std::nullopt;
    DockTileEntry entry;
    entry.path = path;
    entry.label = plistText(dictionaryItem(tileData, "file-label"));
    entry.bundleIdentifier = plistText(dictionaryItem(tileData, "bundle-identifier"));
    if (!inOthers)
        entry.kind = DockTileEntry::Kind::Application;
    else if (plistText(dictionaryItem(tile, "tile-type")) == QLatin1String("directory-tile") || QFileInfo(path).isDir())
        entry.kind = DockTileEntry::Kind::Folder;
    else
        entry.kind = DockTileEntry::Kind::Document;
    return entry;
}

QList<DockTileEntry> entriesOf(plist_t array, bool inOthers)
{
    QList<DockTileEntry> entries;
    if (!array || plist_get_node_type(array) != PLIST_ARRAY)
        return entries;
    const uint32_t count = plist_array_get_size(array);
    for (uint32_t i = 0; i < count; ++i) {
        if (const std::optional<DockTileEntry> entry = entryOf(plist_array_get_item(array, i), inOthers))
            entries.append(*entry);
    }
    return entries;
}

plist_t applicationTile(const DockTileEntry &entry)
{
    plist_t fileData = plist_new_dict();
    plist_dict_set_item(fileData, "_CFURLString", plist_new_string(QUrl::fromLocalFile(entry.path).toString(QUrl::FullyEncoded).toUtf8().constData()));
    plist_dict_set_item(fileData, "_CFURLStringType", plist_new_uint(15));
    plist_t tileData = plist_new_dict();
    plist_dict_set_item(tileData, "file-data", fileData);
    plist_dict_set_item(tileData, "file-label", plist_new_string(entry.label.toUtf8().constData()));
    if (!entry.bundleIdentifier.isEmpty())
        plist_dict_set_item(tileData, "bundle-identifier", plist_new_string(entry.bundleIdentifier.toUtf8().constData()));
    plist_t tile = plist_new_dict();
    plist_dict_set_item(tile, "tile-data", tileData);
    plist_dict_set_item(tile, "tile-type", plist_new_string("file-tile"));
    return tile;
}

bool writeRoot(const QString &path, plist_t root)
{
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    if (!bytes)
        return false;
    const QByteArray data(bytes, qsizetype(length));
    std::free(bytes);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(data);
    return file.commit();
}

} // namespace

QString dockTilePathFromURLString(const QString &urlString)
{
    QString path;
    if (urlString.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(urlString);
        if (!url.isValid() || !url.isLocalFile())
            return {};
        path = url.toLocalFile();
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
    bool unreadable = false;
    const PlistOwner root = readRoot(m_path, &unreadable);
    if (unreadable) {
        qCWarning(tilesFileLog, "The Dock preferences %s are not a property-list dictionary; drawing no kept tiles",
                  qPrintable(m_path));
        settings.readable = false;
        return settings;
    }
    if (!root)
        return settings;
    const QString orientation = plistText(dictionaryItem(root.get(), "orientation")).toLower();
    if (orientation == QLatin1String("left") || orientation == QLatin1String("right"))
        settings.orientation = orientation;
    settings.autohide = boolValue(dictionaryItem(root.get(), "autohide"));
    plist_t apps = dictionaryItem(root.get(), "persistent-apps");
    settings.hasPersistentApps = apps && plist_get_node_type(apps) == PLIST_ARRAY;
    settings.applications = entriesOf(apps, false);
    settings.others = entriesOf(dictionaryItem(root.get(), "persistent-others"), true);
    return settings;
}

bool DockTilesFile::removeTile(const DockTileEntry &entry, const QList<DockTileEntry> &offeredApplications) const
{
    bool unreadable = false;
    PlistOwner root = readRoot(m_path, &unreadable);
    if (unreadable)
        return false;
    if (!root)
        root.reset(plist_new_dict());
    const bool application = entry.kind == DockTileEntry::Kind::Application;
    const char *key = application ? "persistent-apps" : "persistent-others";
    plist_t array = dictionaryItem(root.get(), key);
    if (!array || plist_get_node_type(array) != PLIST_ARRAY) {
        if (!application)
            return true;
        array = plist_new_array();
        for (const DockTileEntry &offered : offeredApplications)
            plist_array_append_item(array, applicationTile(offered));
        plist_dict_set_item(root.get(), key, array);
    }
    const uint32_t count = plist_array_get_size(array);
    for (uint32_t i = 0; i < count; ++i) {
        const std::optional<DockTileEntry> kept = entryOf(plist_array_get_item(array, i), !application);
        if (kept && kept->path == entry.path) {
            plist_array_remove_item(array, i);
            break;
        }
    }
    return writeRoot(m_path, root.get());
}
