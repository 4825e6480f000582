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

// The files of the skin's layer pictures that are still being decoded out of the program (asking
// starts them): an icon drawn now would miss them.
QStringList pendingSkinLayerFiles(const SkinDefinition &skin, const QString &skinsDirectory);
