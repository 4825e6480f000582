#pragma once

#include "Kestrowan/mainwindow/MainViewFactories.h"

#include <QPainterPath>
#include <QWidget>

// The small panel a card's quick-add button opens above itself, its arrow pointing down at the button. It closes on a click outside it,
// on Escape, and before any of its rows acts.
class QuickAddPopover final : public QWidget {
    Q_OBJECT
public:
    // The content comes from the menu factory, or is the window's own plain list of the four rows.
    QuickAddPopover(const AddToGroupMenuActions &actions, QWidget *anchor);

    // Shows the panel above the anchor with its arrow on the bottom edge (below it, the arrow on top,
    // when the screen has no room above).
    void popup();
    bool arrowOnBottom() const { return m_arrowOnBottom; }
    // How much below the anchor stays uncovered when the panel has to open below it.
    void setClearanceBelow(int points) { m_clearanceBelow = points; }

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // The panel without its shadow margin and arrow, and the panel with its arrow.
    QRectF panelRect() const;
    QPainterPath outline() const;

    QWidget *m_anchor;
    bool m_arrowOnBottom = true;
    qreal m_arrowX = 0;
    int m_clearanceBelow = 0;
};
