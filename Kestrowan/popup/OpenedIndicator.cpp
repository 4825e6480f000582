#include "Kestrowan/popup/OpenedIndicator.h"

#include "Kestrowan/popup/PopupStyle.h"

#include <QPainter>

OpenedIndicator::OpenedIndicator(qreal size, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
{
    const int side = qCeil(size + 2 * glowRadius + 1);
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void OpenedIndicator::paintDot(QPainter &painter, const QPointF &center, qreal size, const QWidget *widget)
{
    const QColor green = PopupStyle::successGreen(widget);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // The glow: rings fading out over the radius, an even halo without offset.
    for (int step = 3; step >= 1; --step) {
        QColor glow = green;
        glow.setAlphaF(float(0.4 * (4 - step) / 6.0));
        const qreal r = size / 2 + glowRadius * step / 3.0;
        painter.setBrush(glow);
        painter.drawEllipse(center, r, r);
    }
    painter.setBrush(green);
    painter.drawEllipse(center, size / 2, size / 2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawEllipse(center, size / 2, size / 2);
    painter.restore();
}

void OpenedIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintDot(painter, QRectF(rect()).center(), m_size, this);
}
