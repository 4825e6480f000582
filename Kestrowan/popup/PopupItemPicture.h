#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QImage>

// The picture of an item in a popup cell: an application's own icon, every other item's drawn
// preview. `pixels` is the side the cell draws it at, in device pixels.
QImage popupItemPicture(const AppItem &item, int pixels);
