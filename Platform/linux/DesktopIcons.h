#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

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

// The icon an "Icon=" value names; a null icon when nothing by that name is installed: an
// absolute picture path, else the name in the desktop's theme, the themes it inherits, "hicolor"
// and the pixmap folders, in that order, scalable pictures included.
QIcon named(const QString &iconValue);

// The generic application symbol (the same icon object every time).
QIcon genericApplication();

// The folders searched for icon themes and, last, for loose pictures by name.
QStringList themeFolders();
QStringList pixmapFolders();

} // namespace DesktopIcons
