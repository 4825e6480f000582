#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QImage>

// The picture of an item in a popup cell: an application's own icon, every other item's drawn
// preview. `pixels` is the side the cell draws it at, in device pixels. Pictures are kept for the
// life of the process (the most recent few hundred), keyed by the item's path, the size and the
// file's modification time, so a popup shown again draws at once and a changed file is drawn anew.
QImage popupItemPicture(const AppItem &item, int pixels);
