#pragma once

#include <QRectF>

class QPainter;
class QWidget;

// The ring a control shows while it has the keyboard focus: the kit's focus border colour around
// its continuous rounded shape. Draws nothing while `widget` does not have the focus.
void paintFocusRing(QPainter &painter, const QWidget *widget, const QRectF &rect, qreal cornerRadius);
