#pragma once

#include "Kestrowan/dock/DockPosition.h"

#include <QGraphicsEffect>

// The popup's entrance: its card grows from 0.92 to full size over 0.14 s, out of the side that
// faces the Dock (the bottom centre, or the leading or trailing edge). It removes itself at the end,
// so a popup that has appeared draws with no effect in between.
class PopupAppearEffect : public QGraphicsEffect {
    Q_OBJECT
public:
    static constexpr qreal startScale = 0.92;
    static constexpr int durationMilliseconds = 140;

    // Installs the effect on `card` and starts it.
    static void play(QWidget *card, DockPosition edge);

    qreal scale() const { return m_scale; }
    // The point the card grows out of, in the card's coordinates.
    static QPointF anchorPoint(const QRectF &card, DockPosition edge);

protected:
    void draw(QPainter *painter) override;

private:
    PopupAppearEffect(DockPosition edge, QObject *parent);

    DockPosition m_edge;
    qreal m_scale = startScale;
};
