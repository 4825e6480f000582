#pragma once

#include "Platform/dockstandin/ApplicationInfo.h"
#include "Platform/dockstandin/DockTilesFile.h"

#include <QByteArray>
#include <QHash>
#include <QImage>

#include <optional>

// The picture of a tile: an application's own icon (found as the program finds it) or the program's
// generic application symbol, a folder's custom "Icon\r" picture, the theme's folder or document
// icon, or a drawn stand-in when the machine has none.
class TileIcons {
public:
    // Folder pictures already drawn in this pass, by a hash of their file's bytes: folders that
    // show the same picture decode it once.
    using FolderPictures = QHash<QByteArray, QImage>;

    // Folder pictures read beforehand, by the folder's path (a null picture: the folder has none).
    using ReadPictures = QHash<QString, QImage>;

    static QImage iconFor(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application,
                          const QString &title, int size, FolderPictures *pictures = nullptr, const ReadPictures *read = nullptr);

    // The "Icon\r" pictures of the folder entries at `size`, read together on a thread of Qt's
    // pool, where Qt scales each in one piece rather than handing its rows to the pool and waiting.
    static ReadPictures readFolderPictures(const QList<DockTileEntry> &entries, int size, FolderPictures *pictures);

private:
    static QImage drawnApplication(const QString &title, int size);
    static QImage drawnFolder(int size);
};
