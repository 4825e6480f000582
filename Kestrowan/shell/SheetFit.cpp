#include "Kestrowan/shell/SheetFit.h"

#include <QWidget>

namespace {

// Room kept between a sheet and its window's edges, on each side.
constexpr int sheetMargin = 12;
// Below this a sheet's controls no longer fit; a window that small is smaller than the program lets it be.
constexpr QSize smallestSheet(240, 180);

} // namespace

void fitSheetToWindow(QWidget *sheet, QWidget *owner, QSize wished, bool resizable)
{
    QSize size = wished;
    if (const QWidget *window = owner ? owner->window() : nullptr; window && window->isVisible())
        size = wished.boundedTo(window->size() - QSize(2 * sheetMargin, 2 * sheetMargin)).expandedTo(smallestSheet);
    if (resizable) {
        sheet->setMinimumSize(size);
        sheet->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        sheet->resize(size);
    } else {
        sheet->setFixedSize(size);
    }
}
