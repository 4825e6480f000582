#pragma once

#include "Platform/dockstandin/ApplicationInfo.h"
#include "Platform/dockstandin/DockTilesFile.h"

#include <QImage>

#include <optional>

// The picture of a tile: an application's own icon (found as the program finds it) or the program's
// generic application symbol, a folder's custom "Icon\r" picture, the theme's folder or document
// icon, or a drawn stand-in when the machine has none.
class TileIcons {
public:
    static QImage iconFor(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application,
                          const QString &title, int size);

private:
    static QImage drawnApplication(const QString &title, int size);
    static QImage drawnFolder(int size);
};
