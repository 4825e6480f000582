#include "Kestrowan/groups/DockService.h"

#include "Kestrowan/groups/AsyncProcess.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/DockPreferences.h"
#include "Platform/FileURL.h"
#include "Platform/MainThread.h"
#include "Platform/PropertyList.h"
#include "Platform/logging/SystemErrorText.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

const QString persistentOthersKey = QStringLiteral("persistent-others");
const QString tileDataKey = QStringLiteral("tile-data");
const QString fileLabelKey = QStringLiteral("file-label");
const QString showAsKey = QStringLiteral("showas");
const QString displayAsKey = QStringLiteral("displayas");

// Outside the call, as the completion pattern promises even when the answer is known at once.
void complete(DockService::Completion completion, bool result)
{
    postToMainThread([completion = std::move(completion), result] {
        if (completion)
            completion(result);
    });
}

// After a confirmed write that changed what the Dock shows. The restart takes in every change
// written before it, so one that an earlier removal left owed is paid with it.
void restartAfterWrite(DockService::Completion completion)
{
    DockService::takeOwedRestart();
    restartDock([completion = std::move(completion)](bool restarted) {
        if (!restarted)
            DockService::markSyncBlocked(DockService::syncBlockedReason);
        if (completion)
            completion(restarted);
    });
}

std::optional<QVariantMap> asMap(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value.toMap();
}

// The list as stored, for a change: nullopt, logged, when it cannot be taken as a list, so that
// nothing replaces tiles the program cannot see. Elements that are not tiles stay as they are, in
// their place; the program only ever matches and changes tiles.
std::optional<QVariantList> readElementsForChange()
{
    const std::optional<QVariantMap> domain = DockPreferences::shared().read();
    if (!domain) {
        qCCritical(persistenceLogger, "Dock preferences cannot be read; Dock items left unchanged.");
        return std::nullopt;
    }
    const QVariant stored = domain->value(persistentOthersKey);
    if (!stored.isValid())
        return QVariantList();
    if (stored.typeId() != QMetaType::QVariantList) {
        qCCritical(persistenceLogger, "Dock items are not a list; Dock items left unchanged.");
        return std::nullopt;
    }
    return stored.toList();
}

// Writes, then reads back: only the very elements written count as confirmation, so a system that
// keeps the old list (even one of the same length) is caught. The comparison is the property list's
// own, in which a stored real that is not a number still equals itself.
bool confirmedWrite(const QVariantList &written)
{
    DockPreferences &preferences = DockPreferences::shared();
    int error = 0;
    const bool stored = preferences.write(persistentOthersKey, written, &error);
    DockService::setLastWriteError(stored ? 0 : error);
    if (!stored && error != 0) {
        // The disk, not the system, said no (a full disk): no block, and the log says what happened.
        qCCritical(persistenceLogger, "Failed to update Dock items: %s", qUtf8Printable(systemErrorText(error)));
        return false;
    }
    const QVariant readBack = preferences.value(persistentOthersKey);
    if (stored && PropertyList::sameValue(readBack, QVariant(written)))
        return true;
    qCCritical(persistenceLogger,
               "Failed to update Dock items. System may block access (check Privacy & Security > App Management).");
    DockService::markSyncBlocked(DockService::syncBlockedReason);
    return false;
}

bool isInteger(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

std::optional<qint64> integerIn(const QVariantMap &tileData, const QString &key)
{
    const QVariant value = tileData.value(key);
    if (!isInteger(value))
        return std::nullopt;
    return value.toLongLong();
}

QVariantMap tileData(const DockService::Tile &tile)
{
    return asMap(tile.value(tileDataKey)).value_or(QVariantMap());
}

bool viewSettingsDiffer(const DockService::Tile &existing, const DockService::Tile &replacement)
{
    const QVariantMap a = tileData(existing);
    const QVariantMap b = tileData(replacement);
    return integerIn(a, showAsKey) != integerIn(b, showAsKey) || integerIn(a, displayAsKey) != integerIn(b, displayAsKey);
}

std::optional<QString> labelOf(const DockService::Tile &tile)
{
    const QVariant label = tileData(tile).value(fileLabelKey);
    if (label.typeId() != QMetaType::QString)
        return std::nullopt;
    return label.toString();
}

void setLabel(DockService::Tile &tile, const QString &label)
{
    QVariantMap data = tileData(tile);
    data.insert(fileLabelKey, label);
    tile.insert(tileDataKey, data);
}

QString cleanedPath(const QString &path)
{
    // cleanPath resolves "." and ".." by name, without following links, and drops a trailing slash.
    return QDir::cleanPath(path);
}

QString pathOfURL(const QUrl &url)
{
    if (url.isLocalFile())
        return cleanedPath(localPathOfFileURL(url));
    return cleanedPath(url.path(QUrl::FullyDecoded));
}

// Compares paths as the platform compares file names: canonically equivalent spellings are equal.
class FolderMatcher {
public:
    explicit FolderMatcher(const QUrl &folderURL)
        : m_path(DockService::standardizedPath(folderURL).normalized(QString::NormalizationForm_C))
    {
    }

    bool matches(const QVariant &element) const
    {
        return element.typeId() == QMetaType::QVariantMap && matches(element.toMap());
    }

    bool matches(const DockService::Tile &tile) const
    {
        if (m_path.isEmpty())
            return false;
        const std::optional<QString> path = DockService::tilePath(tile);
        if (!path)
            return false;
        return *path == m_path || path->normalized(QString::NormalizationForm_C) == m_path;
    }

    template <typename List>
    qsizetype firstMatch(const List &elements) const
    {
        for (qsizetype i = 0; i < elements.size(); ++i) {
            if (matches(elements[i]))
                return i;
        }
        return -1;
    }

private:
    QString m_path;
};

bool folderExists(const QUrl &folderURL)
{
    const QString path = DockService::standardizedPath(folderURL);
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace

DockService &DockService::instance()
{
    static DockService *service = new DockService;
    return *service;
}

int DockService::lastWriteError()
{
    return instance().m_lastWriteError;
}

void DockService::setLastWriteError(int error)
{
    instance().m_lastWriteError = error;
}

bool DockService::syncBlocked()
{
    return instance().m_syncBlocked;
}

void DockService::markSyncBlocked(const QString &reason)
{
    DockService &service = instance();
    if (service.m_syncBlocked)
        return;
    service.m_syncBlocked = true;
    emit service.syncBlockDidChange(QVariantMap{{QStringLiteral("reason"), reason}});
}

void DockService::clearSyncBlock()
{
    DockService &service = instance();
    if (!service.m_syncBlocked)
        return;
    service.m_syncBlocked = false;
    emit service.syncBlockDidChange(QVariantMap());
}

QList<DockService::Tile> DockService::readPersistentOthers()
{
    const QVariant stored = DockPreferences::shared().value(persistentOthersKey);
    QList<Tile> tiles;
    if (stored.typeId() != QMetaType::QVariantList)
        return tiles;
    const QVariantList elements = stored.toList();
    for (const QVariant &element : elements) {
        if (std::optional<QVariantMap> tile = asMap(element))
            tiles.append(*tile);
    }
    return tiles;
}

std::optional<QString> DockService::tilePath(const Tile &tile)
{
    const std::optional<QVariantMap> data = asMap(tile.value(tileDataKey));
    if (!data)
        return std::nullopt;
    const std::optional<QVariantMap> fileData = asMap(data->value(QStringLiteral("file-data")));
    if (!fileData)
        return std::nullopt;
    const QVariant urlString = fileData->value(QStringLiteral("_CFURLString"));
    if (urlString.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = urlString.toString();
    // Tolerant parsing reads a file URL that a hand-edited list spelt with raw spaces as the Dock
    // would have encoded it, instead of taking the whole URL text for a path.
    const QUrl url(text, QUrl::TolerantMode);
    const QString path = url.isValid() ? pathOfURL(url) : cleanedPath(text);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QString DockService::standardizedPath(const QUrl &folderURL)
{
    return pathOfURL(folderURL);
}

bool DockService::tileMatchesFolder(const Tile &tile, const QUrl &folderURL)
{
    return FolderMatcher(folderURL).matches(tile);
}

bool DockService::isFolderInDock(const QUrl &folderURL)
{
    const QString path = standardizedPath(folderURL).normalized(QString::NormalizationForm_C);
    if (path.isEmpty())
        return false;
    const QVariant stored = DockPreferences::shared().value(persistentOthersKey);
    if (stored.typeId() != QMetaType::QVariantList)
        return false;
    // Cards ask on every redraw: the tiles' paths are worked out once per list the preferences give.
    // The list kept here holds its data, so a list with the same data pointer is that very list.
    static QVariantList parsedList;
    static QSet<QString> parsedPaths;
    const QVariantList tiles = stored.toList();
    if (tiles.constData() != parsedList.constData() || tiles.size() != parsedList.size()) {
        QSet<QString> paths;
        for (const QVariant &element : tiles) {
            if (const std::optional<QVariantMap> tile = asMap(element)) {
                if (const std::optional<QString> tilePath = DockService::tilePath(*tile))
                    paths.insert(tilePath->normalized(QString::NormalizationForm_C));
            }
        }
        parsedList = tiles;
        parsedPaths = std::move(paths);
    }
    return parsedPaths.contains(path);
}

QVariant DockService::storedTileList()
{
    return DockPreferences::shared().value(persistentOthersKey);
}

bool DockService::writePersistentOthers(const QList<Tile> &tiles)
{
    const std::optional<QVariantList> stored = readElementsForChange();
    if (!stored)
        return false;
    // The tiles take the places of the stored tiles in order (more go at the end); an element that
    // is not a tile is the Dock's or another program's and stays where it stands.
    QVariantList elements;
    qsizetype next = 0;
    for (const QVariant &element : *stored) {
        if (!asMap(element))
            elements.append(element);
        else if (next < tiles.size())
            elements.append(tiles.at(next++));
    }
    while (next < tiles.size())
        elements.append(tiles.at(next++));
    return confirmedWrite(elements);
}

DockService::Tile DockService::folderTile(const QUrl &folderURL, const QString &label, AppGroup::DisplayStyle displayStyle)
{
    const QVariantMap fileData{
        {QStringLiteral("_CFURLString"), folderURL.toString(QUrl::FullyEncoded)},
        {QStringLiteral("_CFURLStringType"), qint64(15)},
    };
    const QVariantMap data{
        {QStringLiteral("file-data"), fileData},
        {fileLabelKey, label},
        {QStringLiteral("file-type"), qint64(2)},
        {displayAsKey, qint64(1)},
        {showAsKey, qint64(static_cast<int>(displayStyle) + 1)},
    };
    return Tile{
        {QStringLiteral("tile-type"), QStringLiteral("directory-tile")},
        {tileDataKey, data},
    };
}

void DockService::upsertFolderTile(const QUrl &folderURL, const QString &label, AppGroup::DisplayStyle displayStyle,
                                   bool refreshLabel, Completion completion)
{
    if (syncBlocked() || !folderExists(folderURL))
        return settleOwedRestart(false, std::move(completion));
    std::optional<QVariantList> tiles = readElementsForChange();
    if (!tiles)
        return settleOwedRestart(false, std::move(completion));

    Tile tile = folderTile(folderURL, label, displayStyle);
    const qsizetype index = FolderMatcher(folderURL).firstMatch(*tiles);
    if (index < 0) {
        tiles->prepend(tile);
        if (!confirmedWrite(*tiles))
            return complete(std::move(completion), false);
        return restartAfterWrite(std::move(completion));
    }

    if (!refreshLabel) {
        if (const std::optional<QString> existingLabel = labelOf((*tiles)[index].toMap()))
            setLabel(tile, *existingLabel);
    }
    const bool viewChanged = viewSettingsDiffer((*tiles)[index].toMap(), tile);
    (*tiles)[index] = tile;
    const bool written = confirmedWrite(*tiles);
    if (!written || !viewChanged)
        return settleOwedRestart(written, std::move(completion));
    restartAfterWrite(std::move(completion));
}

void DockService::upsertFolderTiles(const QList<FolderTileEntry> &entries, Completion completion)
{
    if (syncBlocked())
        return settleOwedRestart(false, std::move(completion));
    std::optional<QVariantList> tiles = readElementsForChange();
    if (!tiles)
        return settleOwedRestart(false, std::move(completion));

    // Each tile's path is worked out once, and each entry finds its tile by it: a batch of two
    // hundred groups looked for every group among all the tiles.
    QHash<QString, qsizetype> present;
    // From the end, so that the first tile of a path is the one kept.
    for (qsizetype i = tiles->size() - 1; i >= 0; --i) {
        if (tiles->at(i).typeId() != QMetaType::QVariantMap)
            continue;
        if (const std::optional<QString> path = tilePath(tiles->at(i).toMap()))
            present.insert(path->normalized(QString::NormalizationForm_C), i);
    }
    // New tiles go in front, each before the ones added ahead of it.
    QVariantList added;
    QHash<QString, qsizetype> addedAt;
    bool needsRestart = false;
    for (const FolderTileEntry &entry : entries) {
        if (!folderExists(entry.folderURL))
            continue;
        const Tile tile = folderTile(entry.folderURL, entry.label, entry.displayStyle);
        const QString path = standardizedPath(entry.folderURL).normalized(QString::NormalizationForm_C);
        QVariant *found = nullptr;
        if (path.isEmpty())
            found = nullptr;
        else if (const auto at = addedAt.constFind(path); at != addedAt.cend())
            found = &added[*at];
        else if (const auto at = present.constFind(path); at != present.cend())
            found = &(*tiles)[*at];
        if (!found) {
            if (!path.isEmpty())
                addedAt.insert(path, added.size());
            added.append(tile);
            needsRestart = true;
            continue;
        }
        needsRestart = viewSettingsDiffer(found->toMap(), tile) || needsRestart;
        *found = tile;
    }
    std::reverse(added.begin(), added.end());
    added.append(*tiles);
    *tiles = std::move(added);

    if (!confirmedWrite(*tiles))
        return settleOwedRestart(false, std::move(completion));
    if (!needsRestart)
        return settleOwedRestart(true, std::move(completion));
    restartAfterWrite(std::move(completion));
}

void DockService::removeFolderTile(const QUrl &folderURL, Completion completion)
{
    removeFolderTile(folderURL, RestartTiming::Now, std::move(completion));
}

void DockService::removeFolderTile(const QUrl &folderURL, RestartTiming timing, Completion completion)
{
    if (syncBlocked())
        return complete(std::move(completion), false);
    std::optional<QVariantList> tiles = readElementsForChange();
    if (!tiles)
        return complete(std::move(completion), false);

    const FolderMatcher matcher(folderURL);
    const qsizetype removed = tiles->removeIf([&matcher](const QVariant &element) { return matcher.matches(element); });
    if (removed == 0)
        return complete(std::move(completion), true);
    if (!confirmedWrite(*tiles))
        return complete(std::move(completion), false);
    if (timing == RestartTiming::WithNextWrite) {
        instance().m_restartOwed = true;
        return complete(std::move(completion), true);
    }
    restartAfterWrite(std::move(completion));
}

bool DockService::takeOwedRestart()
{
    return std::exchange(instance().m_restartOwed, false);
}

void DockService::settleOwedRestart(bool result, Completion completion)
{
    if (!takeOwedRestart())
        return complete(std::move(completion), result);
    restartDock([result, completion = std::move(completion)](bool restarted) {
        if (!restarted)
            DockService::markSyncBlocked(DockService::syncBlockedReason);
        if (completion)
            completion(result && restarted);
    });
}
