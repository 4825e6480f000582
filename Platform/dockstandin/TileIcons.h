#pragma once

#include "Platform/dockstandin/ApplicationInfo.h"
#include "Platform/dockstandin/DockTilesFile.h"

#include <QImage>
#include <QStringList>

#include <optional>

// The picture of a tile: an application's own icon (found as the program finds it) or the program's
// generic application symbol, a folder's custom "Icon\r" picture, the theme's folder or document
// icon, or a drawn stand-in when the machine has none.
//
// The picture files an application or a user put in place are outside input: the Dock never reads
// them itself. It names them here, and decodes them out of its process as the program does; until
// (or unless) one gives a picture, the tile shows its stand-in, drawn from the Dock's own means.
class TileIcons {
public:
    // The picture files that may give the tile its own picture, the first that gives one winning:
    // a folder's "Icon\r", an application's icon file (a bundle's ".icns", then the picture beside
    // it). Empty when the tile has none to look for.
    static QStringList pictureFiles(const DockTileEntry &entry, const std::optional<ApplicationInfo> &application, int size);

    // What the tile shows without a picture of its own, read from nothing a user or another
    // program put in place.
    static QImage standIn(const DockTileEntry &entry, const QString &title, int size);

    // A running program's icon as it sent it (PNG bytes); null when they are not one of a sensible
    // size. Only the header is read before the size is known.
    static QImage sentPicture(const QByteArray &bytes, int size);

private:
    static QImage drawnApplication(const QString &title, int size);
    static QImage folderStandIn(int size);
    static QImage drawnFolder(int size);
};
