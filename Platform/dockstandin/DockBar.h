#pragma once

#include "Platform/EventTaps.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

#include <optional>

// The bar itself: draws the tiles and hands every pointer event over it to its owner, which runs it
// through the taps before anything acts on it. It decides nothing.
class DockBar : public QWidget {
    Q_OBJECT
public:
    struct Tile {
        QRect rect; // in the bar's coordinates
        QImage icon;
        bool running = false; // a running application: a small dot beside the tile
    };

    DockBar();

    void setTiles(const QList<Tile> &tiles, const std::optional<QRect> &separator, bool vertical);
    // A new picture for the tile at `index` of those shown; only that tile is drawn again. Where
    // the tiles stand and which is highlighted stay.
    void setTileIcon(int index, const QImage &icon);
    void setHighlighted(int tile);

signals:
    // Global position; `type` is one of the button, drag or scroll types.
    void pointerEvent(const CGEvent &event, const QPoint &globalPosition);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void report(CGEventType type, const QPointF &globalPosition, CGMouseButton button);
    // What drawing the tile at `index` touches: its picture, its glow and its running dot.
    QRect drawnArea(int index) const;

    QList<Tile> m_tiles;
    std::optional<QRect> m_separator;
    bool m_vertical = false;
    int m_highlighted = -1;
};
