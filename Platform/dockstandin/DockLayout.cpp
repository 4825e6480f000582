#include "Platform/dockstandin/DockLayout.h"

#include <algorithm>

int DockLayout::thickness() const
{
    return m_vertical ? bar.width() : bar.height();
}

DockLayout DockLayout::compute(const QRect &screen, const QString &orientation, int applicationCount, int otherCount)
{
    DockLayout layout;
    layout.m_vertical = orientation == QLatin1String("left") || orientation == QLatin1String("right");
    applicationCount = std::max(applicationCount, 0);
    otherCount = std::max(otherCount, 0);
    const int count = applicationCount + otherCount;
    const bool separated = applicationCount > 0 && otherCount > 0;
    const int extent = layout.m_vertical ? screen.height() : screen.width();

    // Items along the bar: the tiles and the separator, with a gap between neighbours.
    const int items = count + (separated ? 1 : 0);
    const int fixed = 2 * padding + std::max(items - 1, 0) * gap + (separated ? separatorLength : 0);
    int tile = tileSize;
    if (count > 0 && fixed + count * tile > extent)
        tile = std::max(minimumTileSize, (extent - fixed) / count);
    const int length = std::max(fixed + count * tile, 2 * padding + tile);
    const int thickness = tile + 2 * padding;

    if (!layout.m_vertical) {
        const int x = screen.x() + (screen.width() - length) / 2;
        layout.bar = QRect(x, screen.y() + screen.height() - thickness, length, thickness);
    } else {
        const int y = screen.y() + (screen.height() - length) / 2;
        const int x = orientation == QLatin1String("left") ? screen.x() : screen.x() + screen.width() - thickness;
        layout.bar = QRect(x, y, thickness, length);
    }

    int along = padding;
    auto place = [&](int size) {
        const QRect rect = layout.m_vertical ? QRect(layout.bar.x() + padding, layout.bar.y() + along, tile, size)
                                             : QRect(layout.bar.x() + along, layout.bar.y() + padding, size, tile);
        along += size + gap;
        return rect;
    };
    for (int i = 0; i < applicationCount; ++i)
        layout.tiles.append(place(tile));
    if (separated)
        layout.separator = place(separatorLength);
    for (int i = 0; i < otherCount; ++i)
        layout.tiles.append(place(tile));
    return layout;
}
