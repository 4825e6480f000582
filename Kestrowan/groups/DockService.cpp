#include "Kestrowan/groups/DockService.h"

#include "Kestrowan/groups/AsyncProcess.h"
#include "Kestrowan/groups/DockListChanges.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/DockPreferences.h"
#include "Platform/FileURL.h"
#include "Platform/MainThread.h"

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

// After a writer's change: a failed one completes false (restarting first when a restart was owed),
// one that changed what the Dock shows restarts it, any other completes true.
void finishWrite(bool written, bool restart, DockService::Completion completion)
{
    if (!written || !restart)
        return DockService::settleOwedRestart(written, std::move(completion));
    restartAfterWrite(std::move(completion));
}

std::optional<QVariantMap> asMap(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value.toMap();
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
    // The tiles take the places of the stored tiles in order (more go at the end); an element that
    // is not a tile is the Dock's or another program's and stays where it stands.
    const auto edit = [&tiles](const QVariantList &stored) {
        QVariantList elements;
        qsizetype next = 0;
        for (const QVariant &element : stored) {
            if (!asMap(element))
                elements.append(element);
            else if (next < tiles.size())
                elements.append(tiles.at(next++));
        }
        while (next < tiles.size())
            elements.append(tiles.at(next++));
        return DockListChanges::Edit{elements, false};
    };
    return DockListChanges::changeNow(edit) == DockListChanges::Outcome::Written;
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
    if (!folderExists(folderURL))
        return settleOwedRestart(false, std::move(completion));
    const Tile newTile = folderTile(folderURL, label, displayStyle);
    auto edit = [newTile, folderURL, refreshLabel](const QVariantList &stored) {
        DockListChanges::Edit changed{stored, true};
        Tile tile = newTile;
        const qsizetype index = FolderMatcher(folderURL).firstMatch(stored);
        if (index < 0) {
            changed.list->prepend(tile);
            return changed;
        }
        const Tile existing = stored.at(index).toMap();
        if (!refreshLabel) {
            if (const std::optional<QString> existingLabel = labelOf(existing))
                setLabel(tile, *existingLabel);
        }
        changed.restart = viewSettingsDiffer(existing, tile);
        (*changed.list)[index] = tile;
        return changed;
    };
    DockListChanges::instance().change(std::move(edit), [completion = std::move(completion)](DockListChanges::Outcome outcome,
                                                                                              const DockListChanges::Edit &edit) mutable {
        finishWrite(outcome == DockListChanges::Outcome::Written, edit.restart, std::move(completion));
    });
}

void DockService::upsertFolderTiles(const QList<FolderTileEntry> &entries, Completion completion)
{
    auto edit = [entries](const QVariantList &stored) {
        QVariantList tiles = stored;
        // Each tile's path is worked out once, and each entry finds its tile by it: a batch of two
        // hundred groups looked for every group among all the tiles.
        QHash<QString, qsizetype> present;
        // From the end, so that the first tile of a path is the one kept.
        for (qsizetype i = tiles.size() - 1; i >= 0; --i) {
            if (tiles.at(i).typeId() != QMetaType::QVariantMap)
                continue;
            if (const std::optional<QString> path = tilePath(tiles.at(i).toMap()))
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
                found = &tiles[*at];
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
        added.append(tiles);
        return DockListChanges::Edit{std::move(added), needsRestart};
    };
    DockListChanges::instance().change(std::move(edit), [completion = std::move(completion)](DockListChanges::Outcome outcome,
                                                                                              const DockListChanges::Edit &edit) mutable {
        finishWrite(outcome == DockListChanges::Outcome::Written, edit.restart, std::move(completion));
    });
}

void DockService::removeFolderTile(const QUrl &folderURL, Completion completion)
{
    auto edit = [folderURL](const QVariantList &stored) {
        const FolderMatcher matcher(folderURL);
        QVariantList tiles = stored;
        if (tiles.removeIf([&matcher](const QVariant &element) { return matcher.matches(element); }) == 0)
            return DockListChanges::Edit{};
        return DockListChanges::Edit{std::move(tiles), true};
    };
    DockListChanges::instance().change(std::move(edit), [completion = std::move(completion)](DockListChanges::Outcome outcome,
                                                                                              const DockListChanges::Edit &) mutable {
        if (outcome != DockListChanges::Outcome::Written)
            return complete(std::move(completion), outcome == DockListChanges::Outcome::Unchanged);
        restartAfterWrite(std::move(completion));
    });
}

void DockService::moveFolderTile(const QUrl &fromURL, const QUrl &toURL, Completion completion)
{
    auto edit = [fromURL, toURL](const QVariantList &stored) {
        const FolderMatcher from(fromURL);
        const bool toHasTile = FolderMatcher(toURL).firstMatch(stored) >= 0;
        QVariantList tiles;
        bool moved = false;
        bool changed = false;
        for (const QVariant &element : stored) {
            if (!from.matches(element)) {
                tiles.append(element);
                continue;
            }
            changed = true;
            // The first tile of the folder takes the new path where it stands; further ones, or
            // all of them when the new folder has a tile already (the same move made by another
            // program), go.
            if (moved || toHasTile)
                continue;
            Tile tile = element.toMap();
            QVariantMap data = tileData(tile);
            QVariantMap fileData = asMap(data.value(QStringLiteral("file-data"))).value_or(QVariantMap());
            fileData.insert(QStringLiteral("_CFURLString"), toURL.toString(QUrl::FullyEncoded));
            data.insert(QStringLiteral("file-data"), fileData);
            tile.insert(tileDataKey, data);
            tiles.append(tile);
            moved = true;
        }
        if (!changed)
            return DockListChanges::Edit{};
        return DockListChanges::Edit{std::move(tiles), true};
    };
    DockListChanges::instance().change(std::move(edit), [completion = std::move(completion)](DockListChanges::Outcome outcome,
                                                                                              const DockListChanges::Edit &) mutable {
        // The Dock restarts with the sync's own write of the moved folder's tile: one sync, one restart.
        if (outcome == DockListChanges::Outcome::Written)
            instance().m_restartOwed = true;
        complete(std::move(completion), outcome != DockListChanges::Outcome::Failed);
    });
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
