#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

#include <optional>

// How this desktop finds an application's icon from a desktop entry's "Icon=": an absolute image
// path, or a name looked up in the user's icon theme, the themes it inherits, "hicolor" and the
// plain pixmap folders. What finds nothing gets the program's generic application symbol, so an
// application is never drawn as a blank document, and every view draws the same picture.
namespace DesktopIcons {

// The icon theme the desktop asks for: what Qt's platform integration names, else the GTK
// settings' "gtk-icon-theme-name", else GTK's own default where it is installed, else "hicolor".
QString desktopThemeName();

// Points Qt's icon look-up at the desktop's theme and folders. Called by every look-up below;
// only the first call does anything.
void prepareThemeLookup();

// Scalable pictures are drawn in this process; one larger than this is no icon and is passed over.
inline constexpr qint64 scalableIconSizeLimit = 1024 * 1024;

// One picture file of an icon: the pixels a side it was made for, 0 for a scalable picture.
struct IconFile {
    QString path;
    int size = 0;
    friend bool operator==(const IconFile &, const IconFile &) = default;
};

// The picture files of the icon an "Icon=" value names; none when nothing by that name is
// installed: an absolute picture path, else the name in the desktop's theme, the themes it
// inherits, "hicolor" and the pixmap folders, in that order, scalable pictures first.
QList<IconFile> files(const QString &iconValue);

// Of an icon's files, the one to draw `pixels` a side from: the smallest made for at least that
// size, else a scalable one, else the largest.
QString fileForSize(const QList<IconFile> &files, int pixels);

// The icon an "Icon=" value names, decoded in this process; a null icon when nothing by that name
// is installed. The stand-in Dock draws with it; the program never does (see decoded()).
QIcon named(const QString &iconValue);

// An icon drawn from `files` as DecodedIcons decodes them out of the process, at the pixel size
// each view asks for: the generic application symbol stands in while a size is on its way and
// for a file that gives no picture.
QIcon decoded(const QList<IconFile> &files);

// The file the icon decoded() gives for `files` draws from at `pixels`, while its picture is on its
// way and the generic symbol stands in (asking starts it); nothing once it is in.
std::optional<QString> pendingFile(const QList<IconFile> &files, int pixels);

// The generic application symbol (the same icon object every time).
QIcon genericApplication();

// The folders searched for icon themes and, last, for loose pictures by name.
QStringList themeFolders();
QStringList pixmapFolders();

} // namespace DesktopIcons
