#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QAbstractButton>
#include <QIcon>

#include <functional>
#include <optional>

class PictureView;
class QVariantAnimation;

// What the popup content gives one cell.
struct PopupCellInputs {
    AppItem app;
    std::optional<int> shortcutNumber; // 1 to 9; none from the tenth item on
    QIcon openerIcon;                  // none: no opener badge
    bool isFocused = false;
    bool isFocusElsewhere = false;     // another cell has the keyboard's highlight: hover yields to it
    bool isOpened = false;             // rows only: the item runs or was opened recently
    std::function<void()> onLaunch;
};

// What the grid card and the list row share: one button over the whole cell, a background and border
// that take the icon's tint while hovered or focused, the item's picture (the shared item thumbnail
// view) with what is drawn over it, the command badge text, the opener badge rule, the pressed look
// of the whole cell and the hover that plays a haptic tick. Holds nothing but its own hover state.
// The popup keeps a few cells and shows other items in them as the user scrolls or searches.
class PopupItemCell : public QAbstractButton {
    Q_OBJECT
public:
    PopupItemCell(PopupCellInputs inputs, QWidget *parent);

    const PopupCellInputs &inputs() const { return m_inputs; }
    // Shows another item (or the same one with new inputs). A new item starts without hover.
    void bind(PopupCellInputs inputs);
    bool isHovering() const { return m_hovering; }
    // Hover as the pointer's place says, when the cell came under a pointer that has not moved or
    // went away from under it; no haptic, since the hand did not move.
    void setHoveringInPlace(bool hovering);
    // One cell looks chosen at a time: while the keyboard's highlight is on another cell, the
    // pointer's hover here shows nothing.
    bool showsHover() const { return m_hovering && !m_inputs.isFocusElsewhere; }
    bool isHighlighted() const { return showsHover() || m_inputs.isFocused; }
    void setFocused(bool focused, bool focusElsewhere);
    // The number follows the cell's place in the shown list.
    void setShortcutNumber(std::optional<int> number);
    void setOpened(bool opened);
    // Applications never show an opener badge, whatever they are given.
    bool showsOpenerBadge() const;
    QString commandBadgeText() const;
    // Where the name and the command badge are drawn, in the cell's coordinates; the badge's place
    // is empty without a number.
    virtual QRectF nameRect() const = 0;
    virtual QRectF badgeRect() const = 0;
    QColor tintColor() const;
    // The item's picture: the application's icon, or the shared item thumbnail view.
    PictureView *thumbnail() const { return m_thumbnail; }
    // The pixels a side of the picture on this screen, at rest and highlighted: the sizes an
    // application's icon is drawn at.
    QList<int> picturePixels() const;

signals:
    // The pointer came onto the cell or moved over it (`globalPos`), without a button held.
    void pointerMoved(const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    // Where the picture goes at rest, in the cell's coordinates.
    virtual QRectF pictureRect() const = 0;
    virtual qreal pictureRadius() const = 0;
    // The picture's scale while the cell is highlighted.
    virtual qreal highlightScale() const { return 1.0; }
    // Paints what lies over the picture (badges, the dot), above it.
    virtual void paintOverPicture(QPainter &painter) const = 0;
    // Fills and strokes the cell's shape (radius `radius`) as hover and focus want it.
    void paintBackground(QPainter &painter, qreal radius) const;
    void placePicture();
    void syncPressedLook();
    void animateHighlight(qreal to);
    void paintOpenerBadge(QPainter &painter, const QRectF &rect, qreal shadowOpacity, qreal shadowRadius) const;

private:
    PopupCellInputs m_inputs;
    bool m_hovering = false;
    qreal m_highlight = 0; // 0 to 1, follows hover with its animation
    QVariantAnimation *m_hoverAnimation;
    PictureView *m_thumbnail;
    QWidget *m_overlay;
};
