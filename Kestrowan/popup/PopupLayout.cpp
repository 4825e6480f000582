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

} // namespace PopupLayout
