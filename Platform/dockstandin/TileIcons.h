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

    static QImage iconFor(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application,
                          const QString &title, int size, FolderPictures *pictures = nullptr);

private:
    static QImage drawnApplication(const QString &title, int size);
    static QImage drawnFolder(int size);
};
