#pragma once

#include <QColor>
#include <QImage>
#include <QStringList>

// A home of as many different applications as a real one holds: `count` desktop entries in
// `folder`/applications, each with an icon file of its own in `folder`/icons, of the sizes and
// formats installed applications bring (half PNG of 48 to 512 pixels, most of them 128 or 256, half
// vector pictures). Each icon is a rounded square in a colour of its own. Returns the
// entries' paths, in order.
QStringList writeBenchApplications(const QString &folder, int count);

// The colour of application `index`'s icon.
QColor benchApplicationColor(int index);

// Application `index`'s bitmap icon, `side` pixels square.
QImage benchApplicationBitmap(int index, int side);
