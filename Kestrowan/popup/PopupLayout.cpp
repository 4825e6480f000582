#include "Kestrowan/popup/PopupLayout.h"

#include <algorithm>

namespace PopupLayout {

bool isHiddenInternalItem(const AppItem &item)
{
    return item.bundleIdentifier == hiddenItemIdentifier;
}

QList<AppItem> displayItems(const AppGroup &group)
{
    QList<AppItem> items;
    items.reserve(group.apps.size());
    for (const AppItem &item : group.apps) {
        if (!isHiddenInternalItem(item))
            items.append(item);
    }
    return items;
}

QList<AppItem> filteredItems(const QList<AppItem> &displayItems, const QString &searchText)
{
    if (searchText.isEmpty())
        return displayItems;
    QList<AppItem> items;
    for (const int index : filteredIndexes(displayItems, searchText))
        items.append(displayItems.at(index));
    return items;
}

QList<int> filteredIndexes(const QList<AppItem> &displayItems, const QString &searchText)
{
    QList<int> indexes;
    indexes.reserve(displayItems.size());
    const QString query = searchText.toLower();
    for (int i = 0; i < int(displayItems.size()); ++i) {
        if (query.isEmpty() || displayItems.at(i).name.toLower().contains(query))
            indexes.append(i);
    }
    return indexes;
}

int gridColumnCount(int popupGridColumns)
{
    return std::clamp(popupGridColumns, 3, 6);
}

bool itemsScroll(AppGroup::DisplayStyle style, qsizetype filteredCount)
{
    return style != AppGroup::DisplayStyle::List || filteredCount >= 6;
}

QSizeF popupSize(const AppGroup &group)
{
    const qsizetype shown = displayItems(group).size();
    const qreal counted = std::max<qsizetype>(shown, 1);
    if (group.displayStyle == AppGroup::DisplayStyle::Grid) {
        // The panel's height always counts four columns, whatever the grid draws.
        const qreal rows = std::ceil(counted / controllerGridColumns);
        const qreal height = rows * 106 + std::max<qreal>(rows - 1, 0) * 14 + 122 + 34;
        return {gridWidth, std::max<qreal>(std::min(height, maximumHeight), 240)};
    }
    qreal height = counted * 64 + 138;
    if (shown >= 6)
        height = std::min(height, maximumHeight);
    return {listWidth, std::max<qreal>(height, 200)};
}

qreal screenMargin(DockPosition edge)
{
    return edge == DockPosition::Bottom ? 6 : 8;
}

QSizeF fittedSize(const QSizeF &size, DockPosition edge, const QRectF &visibleFrame)
{
    if (visibleFrame.isEmpty())
        return size;
    const qreal margin = screenMargin(edge);
    return {std::min(size.width(), visibleFrame.width() - 2 * margin), std::min(size.height(), visibleFrame.height() - 2 * margin)};
}

QPointF popupOrigin(const QSizeF &size, const QRectF &anchor, DockPosition edge, const QRectF &visibleFrame)
{
    const qreal w = size.width();
    const qreal h = size.height();
    qreal x = 0;
    qreal y = 0;
    switch (edge) {
    case DockPosition::Bottom:
        x = anchor.center().x() - w / 2;
        y = anchor.bottom() + 8; // the anchor's top edge in this upward space
        break;
    case DockPosition::Left:
        x = anchor.right() + 8;
        y = anchor.center().y() - h / 2 + 6;
        break;
    case DockPosition::Right:
        x = anchor.left() - w - 8;
        y = anchor.center().y() - h / 2 + 6;
        break;
    }
    return keptInside({x, y}, size, edge, visibleFrame);
}

QPointF keptInside(const QPointF &origin, const QSizeF &size, DockPosition edge, const QRectF &visibleFrame)
{
    const qreal margin = screenMargin(edge);
    // The lower bound is applied last, so a panel larger than the frame keeps its lower-left corner in.
    const qreal x = std::max(visibleFrame.left() + margin, std::min(origin.x(), visibleFrame.right() - size.width() - margin));
    const qreal y = std::max(visibleFrame.top() + margin, std::min(origin.y(), visibleFrame.bottom() - size.height() - margin));
    return {x, y};
}

namespace {

enum class Side { Below, Above, Left, Right, None };

// Where the anchor lies as seen from the panel, in the upward space.
Side anchorSide(const QRectF &anchor, const QRectF &panel)
{
    if (anchor.bottom() <= panel.top())
        return Side::Below;
    if (anchor.top() >= panel.bottom())
        return Side::Above;
    if (anchor.right() <= panel.left())
        return Side::Left;
    if (anchor.left() >= panel.right())
        return Side::Right;
    return Side::None;
}

} // namespace

QRectF resizedFrame(const QRectF &panel, const QSizeF &size, const QRectF &anchor, DockPosition edge,
                    const QRectF &visibleFrame)
{
    Side side = anchorSide(anchor, panel);
    if (side == Side::None)
        side = edge == DockPosition::Bottom ? Side::Below : edge == DockPosition::Left ? Side::Left : Side::Right;
    // Along the facing edge the panel takes the place a show of this size would give it (centred
    // on its anchor), so that growing back after a shrink returns it to where it was.
    QPointF origin = popupOrigin(size, anchor, edge, visibleFrame);
    switch (side) {
    case Side::Below:
        origin.ry() = panel.top();
        break;
    case Side::Above:
        origin.ry() = panel.bottom() - size.height();
        break;
    case Side::Left:
        origin.rx() = panel.left();
        break;
    case Side::Right:
        origin.rx() = panel.right() - size.width();
        break;
    case Side::None:
        break;
    }
    return {keptInside(origin, size, edge, visibleFrame), size};
}

bool isBetween(const QPointF &point, const QRectF &anchor, const QRectF &panel, qreal margin)
{
    // Along the way from the anchor's edge (0) to the panel's (1), and across it.
    qreal from = 0, to = 0, along = 0, across = 0;
    qreal anchorLow = anchor.left(), anchorHigh = anchor.right(), panelLow = panel.left() - margin,
          panelHigh = panel.right() + margin;
    switch (anchorSide(anchor, panel)) {
    case Side::Below:
        from = anchor.bottom(), to = panel.top(), along = point.y(), across = point.x();
        break;
    case Side::Above:
        from = anchor.top(), to = panel.bottom(), along = point.y(), across = point.x();
        break;
    case Side::Left:
    case Side::Right: {
        const bool left = anchorSide(anchor, panel) == Side::Left;
        from = left ? anchor.right() : anchor.left(), to = left ? panel.left() : panel.right();
        along = point.x(), across = point.y();
        anchorLow = anchor.top(), anchorHigh = anchor.bottom();
        panelLow = panel.top() - margin, panelHigh = panel.bottom() + margin;
        break;
    }
    case Side::None:
        return false;
    }
    if (from == to)
        return false;
    const qreal t = (along - from) / (to - from);
    if (t < 0 || t > 1)
        return false;
    const qreal low = anchorLow + (panelLow - anchorLow) * t;
    const qreal high = anchorHigh + (panelHigh - anchorHigh) * t;
    return across >= low && across <= high;
}

} // namespace PopupLayout
