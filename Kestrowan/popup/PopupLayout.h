#pragma once

#include "Kestrowan/dock/DockPosition.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

// The popup's numbers and its two item lists. Rectangles and points are in the bottom-left space
// (origin at the bottom left of the primary screen, y upward): a rectangle's y() is its lowest edge.
namespace PopupLayout {

inline const QString hiddenItemIdentifier = QStringLiteral("kestrowan.internal.settings-dock");

constexpr qreal gridWidth = 482;
constexpr qreal listWidth = 420;
constexpr qreal maximumHeight = 580;
constexpr int controllerGridColumns = 4;

bool isHiddenInternalItem(const AppItem &item);
// The group's items in their order, without the hidden internal item.
QList<AppItem> displayItems(const AppGroup &group);
// The items whose name holds `searchText` in any letter case; the text is taken as typed (untrimmed).
QList<AppItem> filteredItems(const QList<AppItem> &displayItems, const QString &searchText);
// The same choice as positions in `displayItems`, in order.
QList<int> filteredIndexes(const QList<AppItem> &displayItems, const QString &searchText);

// The grid's column count for a wished number of columns: between 3 and 6.
int gridColumnCount(int popupGridColumns);
// Whether the items section scrolls: always in the grid and fan styles, from six items in the list.
bool itemsScroll(AppGroup::DisplayStyle style, qsizetype filteredCount);

QSizeF popupSize(const AppGroup &group);
// How far the panel keeps from the edges of the visible frame.
qreal screenMargin(DockPosition edge);
// `size` no larger than the visible frame leaves room for, with the margin on every side: on a
// small screen the panel keeps its whole frame on it, and what no longer fits scrolls.
QSizeF fittedSize(const QSizeF &size, DockPosition edge, const QRectF &visibleFrame);
// The panel's lower-left corner beside `anchor` on the Dock's side, kept inside `visibleFrame`.
QPointF popupOrigin(const QSizeF &size, const QRectF &anchor, DockPosition edge, const QRectF &visibleFrame);
// `origin` moved as little as needed to keep a panel of `size` inside `visibleFrame`.
QPointF keptInside(const QPointF &origin, const QSizeF &size, DockPosition edge, const QRectF &visibleFrame);
// `panel` given `size`, keeping the edge that faces `anchor`; along that edge it stands where a
// show of that size would put it. Kept inside `visibleFrame`. Where the two overlap, the Dock's
// edge says which side faces the anchor.
QRectF resizedFrame(const QRectF &panel, const QSizeF &size, const QRectF &anchor, DockPosition edge,
                    const QRectF &visibleFrame);
// Whether `point` lies on the way between `anchor` and `panel`: the band that narrows from the
// panel's facing edge (grown by `margin` along it) to the anchor's. Nothing is between the two
// where they overlap.
bool isBetween(const QPointF &point, const QRectF &anchor, const QRectF &panel, qreal margin);

} // namespace PopupLayout
