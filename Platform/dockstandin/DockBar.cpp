#include "Platform/dockstandin/DockBar.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

namespace {

CGMouseButton platformButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return CGMouseButton::Left;
    case Qt::RightButton:
        return CGMouseButton::Right;
    default:
        return CGMouseButton::Center;
    }
}

CGEventType pressType(CGMouseButton button)
{
    return button == CGMouseButton::Left ? CGEventType::LeftMouseDown
        : button == CGMouseButton::Right ? CGEventType::RightMouseDown
                                         : CGEventType::OtherMouseDown;
}

CGEventType releaseType(CGMouseButton button)
{
    return button == CGMouseButton::Left ? CGEventType::LeftMouseUp
        : button == CGMouseButton::Right ? CGEventType::RightMouseUp
                                         : CGEventType::OtherMouseUp;
}

} // namespace

DockBar::DockBar()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
{
    setAttribute(Qt::WA_X11NetWmWindowTypeDock);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral("Dock"));
}

void DockBar::setTiles(const QList<Tile> &tiles, const std::optional<QRect> &separator, bool vertical)
{
    m_tiles = tiles;
    m_separator = separator;
    m_vertical = vertical;
    m_highlighted = -1;
    update();
}

void DockBar::setTileIcon(int index, const QImage &icon)
{
    if (index < 0 || index >= m_tiles.size())
        return;
    m_tiles[index].icon = icon;
    update(drawnArea(index));
}

void DockBar::setHighlighted(int tile)
{
    if (tile == m_highlighted)
        return;
    if (m_highlighted >= 0 && m_highlighted < m_tiles.size())
        update(drawnArea(m_highlighted));
    m_highlighted = tile;
    if (tile >= 0 && tile < m_tiles.size())
        update(drawnArea(tile));
}

QRect DockBar::drawnArea(int index) const
{
    // The glow reaches two pixels beyond the tile, the running dot a little more below or beside it.
    return m_tiles.at(index).rect.adjusted(-4, -4, 4, 4);
}

void DockBar::paintEvent(QPaintEvent *event)
{
    // Often only a tile or two are due (a picture that arrived, the glow that moved): the painter is
    // clipped to them, and the other tiles are not drawn at all.
    const QRegion due = event->region();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(28, 28, 32));
    QPainterPath shelf;
    shelf.addRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 12, 12);
    painter.fillPath(shelf, QColor(58, 58, 66));
    painter.setPen(QPen(QColor(255, 255, 255, 60), 1));
    painter.drawPath(shelf);
    if (m_separator) {
        painter.setPen(QPen(QColor(255, 255, 255, 110), 1));
        const QRectF s = *m_separator;
        if (m_vertical)
            painter.drawLine(QPointF(s.left() + 4, s.center().y()), QPointF(s.right() - 4, s.center().y()));
        else
            painter.drawLine(QPointF(s.center().x(), s.top() + 4), QPointF(s.center().x(), s.bottom() - 4));
    }
    for (int i = 0; i < m_tiles.size(); ++i) {
        const Tile &tile = m_tiles.at(i);
        if (!due.intersects(drawnArea(i)))
            continue;
        if (i == m_highlighted) {
            QPainterPath glow;
            glow.addRoundedRect(QRectF(tile.rect).adjusted(-2, -2, 2, 2), 10, 10);
            painter.fillPath(glow, QColor(255, 255, 255, 45));
        }
        const QRect iconRect = tile.rect.adjusted(4, 4, -4, -4);
        painter.drawImage(iconRect, tile.icon);
        if (tile.running) {
            const QPointF dot = m_vertical ? QPointF(tile.rect.left() + 1.5, tile.rect.center().y() + 0.5)
                                           : QPointF(tile.rect.center().x() + 0.5, tile.rect.bottom() + 1.5);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(255, 255, 255, 210));
            painter.drawEllipse(dot, 2, 2);
        }
    }
}

void DockBar::report(CGEventType type, const QPointF &globalPosition, CGMouseButton button)
{
    emit pointerEvent(CGEvent::mouseEvent(type, globalPosition, button), globalPosition.toPoint());
}

void DockBar::mousePressEvent(QMouseEvent *event)
{
    const CGMouseButton button = platformButton(event->button());
    report(pressType(button), event->globalPosition(), button);
}

void DockBar::mouseReleaseEvent(QMouseEvent *event)
{
    const CGMouseButton button = platformButton(event->button());
    report(releaseType(button), event->globalPosition(), button);
}

void DockBar::mouseMoveEvent(QMouseEvent *event)
{
    // Moves without a button are seen over the whole screen by the pointer watcher instead.
    if (event->buttons() & Qt::LeftButton)
        report(CGEventType::LeftMouseDragged, event->globalPosition(), CGMouseButton::Left);
    else if (event->buttons() & Qt::RightButton)
        report(CGEventType::RightMouseDragged, event->globalPosition(), CGMouseButton::Right);
    else if (event->buttons() != Qt::NoButton)
        report(CGEventType::OtherMouseDragged, event->globalPosition(), CGMouseButton::Center);
}

void DockBar::wheelEvent(QWheelEvent *event)
{
    CGEvent scroll;
    scroll.type = CGEventType::ScrollWheel;
    scroll.location = event->globalPosition();
    scroll.setIntegerValueField(CGEventField::ScrollWheelEventDeltaAxis1, event->angleDelta().y() / 120);
    scroll.setIntegerValueField(CGEventField::ScrollWheelEventDeltaAxis2, event->angleDelta().x() / 120);
    emit pointerEvent(scroll, event->globalPosition().toPoint());
}
