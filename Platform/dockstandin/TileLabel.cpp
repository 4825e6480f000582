#include "Platform/dockstandin/TileLabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

TileLabel::TileLabel()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void TileLabel::showFor(const QString &text, const QRect &tile, const QString &orientation)
{
    m_text = text;
    const QFontMetrics metrics(font());
    const QSize size(metrics.horizontalAdvance(text) + 20, metrics.height() + 10);
    QPoint origin;
    if (orientation == QLatin1String("left"))
        origin = QPoint(tile.right() + 16, tile.center().y() - size.height() / 2);
    else if (orientation == QLatin1String("right"))
        origin = QPoint(tile.left() - 16 - size.width(), tile.center().y() - size.height() / 2);
    else
        origin = QPoint(tile.center().x() - size.width() / 2, tile.top() - 14 - size.height());
    setGeometry(QRect(origin, size));
    update();
    show();
}

void TileLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(28, 28, 32));
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(bubble, QColor(236, 236, 240));
    painter.setPen(QColor(20, 20, 24));
    painter.drawText(rect(), Qt::AlignCenter, m_text);
}
