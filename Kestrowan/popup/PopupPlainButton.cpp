#include "Kestrowan/popup/PopupPlainButton.h"

#include "Kestrowan/shell/PointerCursorState.h"

PopupPlainButton::PopupPlainButton(QWidget *parent)
    : QAbstractButton(parent)
{
    applyPointerCursor(this);
    setFocusPolicy(Qt::NoFocus);
}

void PopupPlainButton::beginPainting(QPainter &painter, bool dimWhilePressed) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    if (dimWhilePressed && isDown())
        painter.setOpacity(0.85);
}
