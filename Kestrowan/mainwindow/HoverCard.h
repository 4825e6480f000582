#pragma once

#include <QVariantAnimation>
#include <QWidget>

class PointerCursorModifier;

// The main window's card look: a rounded surface with a soft shadow that grows a little, takes an
// accent border and a pointing hand while the pointer is over it. The card draws into its visual
// rectangle, inset by `bleed` from the widget's edges so that the grown card and its shadow are
// never clipped. A single click anywhere on the rounded rectangle emits `clicked`.
class HoverCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int bleed = 3;
    static constexpr qreal cornerRadius = 12;
    static constexpr qreal hoverScale = 1.015;

    explicit HoverCard(QWidget *parent = nullptr);

    bool isHovering() const { return m_hovering; }
    // The card's rectangle without the bleed, in widget coordinates.
    QRectF visualRect() const;
    // Where a point of the unscaled card is drawn now (children follow the card's growth with it).
    QRectF scaledRect(const QRectF &rect) const;
    // The card's growth as drawn now: 1 at rest, up to `hoverScale` (less for a card so wide that
    // the bleed would not hold it) while the pointer is over it.
    qreal currentScale() const;

signals:
    void clicked();
    // The pointer came onto the card (it was not on it before).
    void hoverEntered();
    void hoverChanged(bool hovering);

protected:
    // Paints the content over the surface, in unscaled card coordinates (the painter is scaled).
    virtual void paintContent(QPainter &painter, const QRectF &rect) = 0;
    // Whether a release at this widget point should be the card's click.
    virtual bool acceptsClickAt(const QPointF &point) const;
    // The card's hover amount, 0 to 1, as drawn now.
    qreal hoverProgress() const { return m_progress; }
    // Called while the hover amount changes, for children that follow the card.
    virtual void hoverProgressChanged() {}
    // Overlays drawn over the content (the group card's hover wash).
    virtual bool washesWhileHovered() const { return false; }

    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // Return, Enter and Space act as a click for a card that has the keyboard focus.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setHovering(bool hovering);

    bool m_hovering = false;
    bool m_pressed = false;
    qreal m_progress = 0;
    QVariantAnimation m_animation;
    PointerCursorModifier *m_pointer = nullptr;
};
