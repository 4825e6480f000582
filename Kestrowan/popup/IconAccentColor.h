#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

// The tint of an item's cell: the mean colour of the item's icon over its more-than-half-opaque
// pixels, at 8 by 8, worked out once per key (the item's bundle identifier) for the whole process.
// An icon without such a pixel gives the system accent colour, which is never cached.
QColor iconAccentColor(const QIcon &icon, const QString &key);
QColor iconAccentColor(const QImage &image, const QString &key);

// The mean itself, uncached; nullopt when no pixel counts.
std::optional<QColor> meanOpaqueColor(const QImage &image);
// The colour the desktop uses for selections and focus.
QColor systemAccentColor();
