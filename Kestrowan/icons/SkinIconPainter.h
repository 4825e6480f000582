#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/SkinDefinition.h"

#include <QImage>
#include <QList>

class SkinManager;

// A group icon drawn from a skin package: the background and midground layers, the item tiles, then
// the foreground layers, on the skin's own square canvas with rounded corners.
QImage drawSkinIcon(const QList<AppItem> &apps, const SkinDefinition &skin, const SkinManager &manager);
// The same for ready-made item sources; the images are read from `skinsDirectory`/<skin id>/.
QImage drawSkinIcon(const QList<IconComposer::IconSource> &sources, const SkinDefinition &skin, const QString &skinsDirectory);

// Layers are stretched over a canvas of at most a few thousand pixels a side; no layer may have more
// pixels than this.
inline constexpr qint64 skinLayerPixelLimit = qint64(8192) * 8192;

// A layer picture from its file's bytes, no larger than `canvasPixels` a side; a null image for
// what is not a picture, and, with the reason in `refusal`, for a picture whose header gives no
// size or more than `skinLayerPixelLimit` pixels (never decoded).
QImage decodeSkinLayer(const QByteArray &bytes, int canvasPixels, QString *refusal = nullptr);
