#include "Kestrowan/popup/PopupPlainButton.h"

PopupPlainButton::PopupPlainButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void PopupPlainButton::beginPainting(QPainter &painter, bool dimWhilePressed) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    if (dimWhilePressed && isDown())
        painter.setOpacity(0.85);
}
