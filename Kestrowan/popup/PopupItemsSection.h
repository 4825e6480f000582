#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>
#include <map>

class PopupItemCell;
class QScrollArea;

// The items the search shows, in the grid's columns or the list's rows, as a widget as tall as all
// of them inside the popup's scroll area. It holds cells only for the rows in or next to the view and
// shows other items in the same cells as the view moves or the search changes, so a popup of
// thousands of items builds, lays out and paints as few cells as one of twenty. It also paints the
// cells' soft shadows under them.
class PopupItemsSection : public QWidget {
    Q_OBJECT
public:
    struct Cells {
        // A new cell showing the item at `index` of the shown list, with `parent` as its parent. A
        // grid cell may sit in a slot of its own (which then is the cell's parent widget).
        std::function<PopupItemCell *(int index, QWidget *parent)> make;
        // Shows the item at `index` in a cell made before.
        std::function<void(PopupItemCell *cell, int index)> bind;
    };

    static constexpr int margin = 14;
    static constexpr int gridSpacing = 14;
    static constexpr int listSpacing = 6;

    PopupItemsSection(bool grid, int columns, Cells cells, QWidget *parent = nullptr);

    // Goes into `scroll`, as wide as its view and as tall as the shown items need (at least the view).
    void attach(QScrollArea *scroll);
    // The number of items shown; every cell is bound again, as the items behind the places changed.
    void setCount(int count);
    int count() const { return m_count; }
    // Where the item at `index` is, in this widget's coordinates.
    QRect itemRect(int index) const;
    int contentHeight() const;
    // The cell showing the item at `index`; null while the item is away from the view.
    PopupItemCell *cellAt(int index) const;
    // Which item a cell shows; -1 for a cell kept spare.
    int indexOf(const PopupItemCell *cell) const;
    // Every cell built so far, showing an item or kept spare.
    const QList<PopupItemCell *> &builtCells() const { return m_built; }
    // The cells showing items, by the items' places.
    const std::map<int, PopupItemCell *> &boundCells() const { return m_bound; }
    // Hovers the cell under the pointer and only that one, when the cells moved under a pointer that
    // stayed where it was.
    void refreshHover();

protected:
    void resizeEvent(QResizeEvent *event) override;
    // The scroll area scrolls by moving this widget.
    void moveEvent(QMoveEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *placeOf(PopupItemCell *cell) const;
    void fit();
    // Binds cells to the items in or next to the view; with `rebindAll` also those that keep their place.
    void layoutCells(bool rebindAll);
    const QPixmap &shadow();

    bool m_grid;
    int m_columns;
    Cells m_cells;
    int m_count = 0;
    QWidget *m_view = nullptr;
    QList<PopupItemCell *> m_built;
    std::map<int, PopupItemCell *> m_bound;
    QPixmap m_shadow;
    qint64 m_shadowKey = 0;
    bool m_layingOut = false;
};
