#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QVariantAnimation>
#include <QWidget>

class ItemThumbnail;

// One item in the reorder mode: its thumbnail and name, wiggling (neighbours turn opposite ways),
// dimmed while it is the one being dragged, and a target that the dragged item moves onto.
class ReorderTile : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal wiggleDegrees = 1.8;
    static constexpr qreal wiggleShift = 1.2;

    ReorderTile(const AppItem &item, int index, QWidget *parent = nullptr);

    AppItem item() const { return m_item; }
    int index() const { return m_index; }
    // The tile's item moved to another place (or changed).
    void setPlace(const AppItem &item, int index);
    void setDragging(bool dragging);
    bool isDragging() const { return m_dragging; }
    // The turn it is drawn with now (degrees; the sign follows the position).
    qreal currentTurn() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void dragStarted();
    // A drag of one of the editor's items came over this tile, or was dropped on it.
    void dragEntered();
    void dropped();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    qreal wigglePhase() const;

    AppItem m_item;
    int m_index;
    ItemThumbnail *m_thumbnail;
    QVariantAnimation m_wiggle;
    bool m_dragging = false;
    std::optional<QPoint> m_pressPos;
};
