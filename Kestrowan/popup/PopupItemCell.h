#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QAbstractButton>
#include <QIcon>
#include <QImage>

#include <functional>
#include <optional>

class QVariantAnimation;

// What the popup content gives one cell.
struct PopupCellInputs {
    AppItem app;
    std::optional<int> shortcutNumber; // 1 to 9; none from the tenth item on
    QIcon openerIcon;                  // none: no opener badge
    bool isFocused = false;
    bool isOpened = false;             // rows only: the item runs or was opened recently
    // The item's thumbnail, asked for when the cell is first drawn: cells scrolled out of view
    // never load theirs.
    std::function<QImage()> pictureSource;
    std::function<void()> onLaunch;
};

// What the grid card and the list row share: one button over the whole cell, a background and border
// that take the icon's tint while hovered or focused, the command badge text, the opener badge rule
// and the hover that plays a haptic tick. Holds nothing but its own hover state.
class PopupItemCell : public QAbstractButton {
    Q_OBJECT
public:
    PopupItemCell(PopupCellInputs inputs, QWidget *parent);

    const PopupCellInputs &inputs() const { return m_inputs; }
    bool isHovering() const { return m_hovering; }
    bool isHighlighted() const { return m_hovering || m_inputs.isFocused; }
    void setFocused(bool focused);
    void setOpened(bool opened);
    // Applications never show an opener badge, whatever they are given.
    bool showsOpenerBadge() const;
    QString commandBadgeText() const;
    QColor tintColor() const;
    const QImage &picture() const;
    // A better picture than the drawn preview (a document's system thumbnail) has arrived.
    void setPicture(const QImage &picture);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    // Fills and strokes the cell's shape (radius `radius`) as hover and focus want it.
    void paintBackground(QPainter &painter, qreal radius) const;
    // The whole cell at 0.85 while pressed.
    void applyPressedOpacity(QPainter &painter) const;
    static void paintPicture(QPainter &painter, const QImage &picture, const QRectF &rect, qreal radius);
    void paintOpenerBadge(QPainter &painter, const QRectF &rect, qreal shadowOpacity, qreal shadowRadius) const;

private:
    PopupCellInputs m_inputs;
    bool m_hovering = false;
    qreal m_highlight = 0; // 0 to 1, follows hover with its animation
    mutable std::optional<QImage> m_picture;
    QVariantAnimation *m_hoverAnimation;
};
