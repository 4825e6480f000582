#pragma once

#include "Kestrowan/shell/AppColors.h"

#include <QImage>
#include <QRect>

// The Sync All button of the program's main window, as a test on a real X server finds it on the
// screen.
namespace SyncAllButton {

// The run of pixels in the accent's text shade at the window's bottom right: the button's label. `shot` is the whole
// screen, `window` the main window's frame on it.
inline QRect label(const QImage &shot, const QRect &window)
{
    const QColor accent = AppColors::accentInk.light();
    QRect found;
    for (int y = window.bottom() - 70; y < window.bottom(); ++y) {
        for (int x = window.center().x(); x < window.right(); ++x) {
            if (shot.pixelColor(x, y) == accent)
                found |= QRect(x, y, 1, 1);
        }
    }
    return found;
}

// Whether a label found on the screen has the size of the button's, not of a part or a neighbour.
inline bool isLabelSized(const QRect &label)
{
    return label.width() > 20 && label.width() < 160 && label.height() > 4 && label.height() < 30;
}

} // namespace SyncAllButton
