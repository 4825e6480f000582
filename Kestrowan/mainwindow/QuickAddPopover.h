#pragma once

#include "Kestrowan/mainwindow/MainViewFactories.h"

#include <QWidget>

// The small panel a card's quick-add button opens below itself. It closes on a click outside it,
// on Escape, and before any of its rows acts.
class QuickAddPopover final : public QWidget {
    Q_OBJECT
public:
    // The content comes from the menu factory, or is the window's own plain list of the four rows.
    QuickAddPopover(const AddToGroupMenuActions &actions, QWidget *anchor);

    // Shows the panel with its arrow edge on the anchor's bottom (above it when there is no room).
    void popup();

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *m_anchor;
};
