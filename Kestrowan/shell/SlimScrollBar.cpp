#include "Kestrowan/shell/SlimScrollBar.h"

#include <QScrollBar>

void setSlimScrollBar(QScrollBar *bar)
{
    // The style sheet stays on the bar alone: on the list it would pin the palettes of its rows.
    bar->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 0 2px 2px; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 0.45); border-radius: 3px; min-height: 28px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
}
