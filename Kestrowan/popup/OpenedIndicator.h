#pragma once

#include <QWidget>

// The green dot that marks an item as running or recently opened: a dot of `size` with a white ring
// of width 1 and an even green glow of radius 3, whatever the size.
class OpenedIndicator : public QWidget {
    Q_OBJECT
public:
    explicit OpenedIndicator(qreal size, QWidget *parent = nullptr);

    qreal dotSize() const { return m_size; }
    // The room the glow needs around the dot.
    static constexpr qreal glowRadius = 3;
    // Paints the dot centred at `center` into `painter`, in the colours of `widget`'s appearance.
    static void paintDot(QPainter &painter, const QPointF &center, qreal size, const QWidget *widget);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qreal m_size;
};
