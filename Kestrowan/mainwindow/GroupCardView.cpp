#include "Kestrowan/mainwindow/GroupCardView.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/mainwindow/GroupCardContent.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/mainwindow/QuickAddButton.h"
#include "Kestrowan/mainwindow/QuickAddPopover.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/HapticTick.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/NVLXMenu.h"
#include "NVLXDesign/SystemFont.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

namespace {

constexpr qreal padding = 14;
constexpr qreal iconSide = 48;
constexpr qreal thumbnailSide = 28;
constexpr qreal stripSpacing = 6;
constexpr qreal hintSpacing = 3;
constexpr qreal hintBottomRoom = 10;

QFont hintFont() { return SystemFont::font(11, QFont::Medium); }
QFont pillFont() { return SystemFont::font(11, QFont::Medium); }
QFont nameFont() { return SystemFont::font(13, QFont::DemiBold); }
QFont smallFont() { return SystemFont::font(11); }

// Draws `text` with its top left at `origin`, one line; returns its width.
qreal drawLine(QPainter &painter, const QPointF &origin, const QString &text, const QFont &font, const QColor &color)
{
    painter.setFont(font);
    painter.setPen(color);
    const QFontMetricsF metrics(font);
    painter.drawText(QRectF(origin, QSizeF(metrics.horizontalAdvance(text) + 1, metrics.height())), Qt::AlignLeft | Qt::AlignTop, text);
    return metrics.horizontalAdvance(text);
}

} // namespace

GroupCardView::GroupCardView(const AppGroup &group, GroupManager &store, SkinManager *skinManager, QWidget *parent)
    : HoverCard(parent)
    , m_group(group)
    , m_store(store)
    , m_skinManager(skinManager)
    , m_quickAdd(new QuickAddButton(this))
    , m_icon(new ComposedGroupIconView(group, iconSide, skinManager, this))
{
    // The card takes the clicks on its pictures.
    m_icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    // A window of many cards is drawn first and their icons filled in after, one per turn of
    // the event loop; cards scrolled out of sight compose nothing until they are shown.
    m_icon->setComposesLater(true);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &HoverCard::hoverEntered, this, [] { playHapticTick(); });
    connect(this, &HoverCard::clicked, this, [this] {
        if (!isShowingAddMenu())
            emit tapped(m_group.id);
    });
    connect(m_quickAdd, &QAbstractButton::clicked, this, &GroupCardView::showAddMenu);
    measureQuickAddHint();
    rebuildStrip();
    refreshAccessibility();
}

QSize GroupCardView::sizeHint() const
{
    return QSize(280 + 2 * bleed, 120 + 2 * bleed);
}

void GroupCardView::setGroup(const AppGroup &group)
{
    if (group == m_group)
        return;
    const bool itemsChanged = group.apps != m_group.apps;
    m_group = group;
    m_icon->setGroup(group);
    if (itemsChanged)
        rebuildStrip();
    refreshAccessibility();
    placeChildren();
    update();
}

void GroupCardView::retitle()
{
    measureQuickAddHint();
    refreshAccessibility();
    placeChildren();
    update();
}

void GroupCardView::refreshAccessibility()
{
    const GroupCardContent content = GroupCardContent::of(m_group);
    setAccessibleName(localizedFormat(QStringLiteral("ax.groupCard"), {content.displayName, m_group.apps.size()}));
    setAccessibleDescription(localized(QStringLiteral("ax.groupCard.hint")));
}

void GroupCardView::measureQuickAddHint()
{
    m_quickAddHint = localized(QStringLiteral("groupCard.quickAddHint"));
    const QFontMetricsF metrics(hintFont());
    m_quickAddHintSize = QSizeF(metrics.horizontalAdvance(m_quickAddHint), metrics.height());
}

void GroupCardView::showAddMenu()
{
    if (m_popover)
        return;
    const QUuid id = m_group.id;
    QPointer<GroupCardView> self(this);
    const auto forward = [self, id](void (GroupCardView::*signal)(const QUuid &)) {
        return [self, id, signal] {
            if (self)
                emit(self->*signal)(id);
        };
    };
    m_popover = new QuickAddPopover({forward(&GroupCardView::pickDockApps), forward(&GroupCardView::pickApps),
                                     forward(&GroupCardView::pickFiles), forward(&GroupCardView::pickFolders)},
                                    m_quickAdd);
    // Opened below the button (no room above it), the menu leaves the "Add" caption in sight.
    m_popover->setClearanceBelow(qCeil((hintSpacing + m_quickAddHintSize.height()) * hoverScale));
    connect(m_popover, &QuickAddPopover::closed, this, [this] { m_popover = nullptr; });
    m_popover->popup();
}

QRectF GroupCardView::iconRect(const QRectF &rect) const
{
    return QRectF(rect.left() + padding, rect.top() + padding, iconSide, iconSide);
}

QRectF GroupCardView::quickAddColumn(const QRectF &rect) const
{
    const qreal width = std::max<qreal>(thumbnailSide, m_quickAddHintSize.width());
    const qreal height = thumbnailSide + hintSpacing + m_quickAddHintSize.height();
    // The row sits below the header; the hint under the button keeps clear of the card's bottom
    // edge (its border would cut the letters), lifting the row when a tall script needs it.
    const qreal top = std::min(rect.top() + padding + iconSide + 10, rect.bottom() - hintBottomRoom - height);
    return QRectF(rect.right() - padding - width, top, width, height);
}

QRectF GroupCardView::stripTile(const QRectF &rect, int index) const
{
    const QRectF column = quickAddColumn(rect);
    return QRectF(rect.left() + padding + index * (thumbnailSide + stripSpacing), column.top() + (column.height() - thumbnailSide) / 2,
                  thumbnailSide, thumbnailSide);
}

int GroupCardView::visibleStripTiles(const QRectF &rect, int wanted) const
{
    const qreal limit = quickAddColumn(rect).left() - stripSpacing;
    int count = 0;
    while (count < wanted && stripTile(rect, count).right() <= limit)
        ++count;
    return count;
}

GroupCardView::StripLayout GroupCardView::stripLayout(const QRectF &rect) const
{
    const GroupCardContent content = GroupCardContent::of(m_group);
    const int thumbnails = int(content.stripItems.size());
    const bool counted = !content.overflowText.isEmpty();
    const int places = visibleStripTiles(rect, thumbnails + (counted ? 1 : 0));
    if (places >= thumbnails + (counted ? 1 : 0))
        return {thumbnails, m_group.apps.size() - thumbnails};
    // Too narrow for all: the last place that fits (the first one at least) holds the count.
    const int shown = std::max(0, places - 1);
    return {shown, m_group.apps.size() - shown};
}

QRect GroupCardView::overflowTileRect() const
{
    const QRectF card = visualRect();
    const StripLayout strip = stripLayout(card);
    return strip.hiddenItems > 0 ? scaledRect(stripTile(card, strip.thumbnails)).toAlignedRect() : QRect();
}

QString GroupCardView::overflowText() const
{
    const qsizetype hidden = stripLayout(visualRect()).hiddenItems;
    return hidden > 0 ? u'+' + QString::number(hidden) : QString();
}

void GroupCardView::rebuildStrip()
{
    qDeleteAll(m_strip);
    m_strip.clear();
    for (const AppItem &item : GroupCardContent::of(m_group).stripItems) {
        auto *thumbnail = new CompactItemThumbnail(item, this);
        thumbnail->setCornerRadius(ItemThumbnailFrame::cardStripRadius);
        thumbnail->setAttribute(Qt::WA_TransparentForMouseEvents);
        // A card on its way into a new window draws its pictures after the window's first frame;
        // a card on screen shows its changed items at once.
        thumbnail->setDrawsAfterFirstFrame(!isVisible());
        m_strip.append(thumbnail);
    }
    placeChildren();
}

void GroupCardView::placeChildren()
{
    const QRectF card = visualRect();
    m_icon->setGeometry(scaledRect(iconRect(card)).toAlignedRect());
    const int visible = stripLayout(card).thumbnails;
    for (int i = 0; i < m_strip.size(); ++i) {
        m_strip[i]->setGeometry(scaledRect(stripTile(card, i)).toAlignedRect());
        m_strip[i]->setVisible(i < visible);
    }
    const QRectF column = quickAddColumn(card);
    const QRectF button(column.center().x() - thumbnailSide / 2, column.top(), thumbnailSide, thumbnailSide);
    m_quickAdd->move(scaledRect(button).center().toPoint() - QPoint(QuickAddButton::side / 2, QuickAddButton::side / 2));
}

void GroupCardView::hoverProgressChanged()
{
    placeChildren();
}

void GroupCardView::resizeEvent(QResizeEvent *event)
{
    HoverCard::resizeEvent(event);
    placeChildren();
}

void GroupCardView::contextMenuEvent(QContextMenuEvent *event)
{
    NVLXMenu menu(this);
    QAction *remove = menu.addAction(localized(QStringLiteral("groupList.delete")));
    remove->setProperty("destructive", true);
    if (menu.exec(event->globalPos()) == remove)
        emit deleteRequested(m_group.id);
}

GroupCardView::HeaderLayout GroupCardView::headerLayout(const QRectF &rect) const
{
    const GroupCardContent content = GroupCardContent::of(m_group);
    const QRectF inner = rect.adjusted(padding, padding, -padding, -padding);
    const QRectF icon = iconRect(rect);
    const QFontMetricsF pillMetrics(pillFont());
    const QFontMetricsF nameMetrics(nameFont());
    const QFontMetricsF smallMetrics(smallFont());
    HeaderLayout header;
    header.stateText = m_group.apps.isEmpty()
        ? QString()
        : localized(m_store.isGroupSyncedToDock(m_group) ? QStringLiteral("groupCard.synced") : QStringLiteral("groupCard.notSynced"));

    const QSizeF pillSize(pillMetrics.horizontalAdvance(content.styleLabel) + 14, pillMetrics.height() + 6);
    header.pill = QRectF(inner.right() - pillSize.width(), icon.center().y() - pillSize.height() / 2, pillSize.width(), pillSize.height());
    const qreal textLeft = icon.right() + 10;
    const qreal countWidth = smallMetrics.horizontalAdvance(content.countText);
    const qreal stateWidth = header.stateText.isEmpty() ? 0 : 5 + 4 + 5 + smallMetrics.horizontalAdvance(header.stateText);
    const qreal besidePill = std::max<qreal>(0, header.pill.left() - 10 - textLeft);
    const qreal fullWidth = std::max<qreal>(0, inner.right() - textLeft);
    // The state says whether the group is in the Dock: it is never cut. Where the count and the
    // state do not fit beside the style pill (a long word in Spanish), the pill moves up beside
    // the name and the row runs to the card's edge; where they do not fit even then, the state
    // takes a line of its own under the count.
    enum class Room { BesidePill, UnderPill, OwnLine } room = Room::BesidePill;
    if (countWidth + stateWidth > besidePill)
        room = countWidth + stateWidth <= fullWidth ? Room::UnderPill : Room::OwnLine;
    const qreal rowWidth = room == Room::BesidePill ? besidePill : fullWidth;
    const qreal lineGap = 2;
    const qreal columnHeight =
        nameMetrics.height() + 3 + smallMetrics.height() + (room == Room::OwnLine ? lineGap + smallMetrics.height() : 0);
    const qreal columnTop = icon.center().y() - columnHeight / 2;
    if (room != Room::BesidePill)
        header.pill.moveTop(columnTop + (nameMetrics.height() - pillSize.height()) / 2);
    header.name = QRectF(textLeft, columnTop, std::max<qreal>(0, header.pill.left() - 10 - textLeft), nameMetrics.height());
    const qreal rowTop = columnTop + nameMetrics.height() + 3;
    header.count = QRectF(textLeft, rowTop, std::min(countWidth, rowWidth), smallMetrics.height());
    if (!header.stateText.isEmpty()) {
        const qreal stateTop = room == Room::OwnLine ? rowTop + smallMetrics.height() + lineGap : rowTop;
        const qreal dotLeft = room == Room::OwnLine ? textLeft : header.count.right() + 5;
        header.dot = QRectF(dotLeft, stateTop + smallMetrics.height() / 2 - 2, 4, 4);
        const qreal stateLeft = header.dot.right() + 5;
        header.state = QRectF(stateLeft, stateTop, std::max<qreal>(0, textLeft + rowWidth - stateLeft), smallMetrics.height());
    }
    return header;
}

QRectF GroupCardView::syncStateRect() const
{
    return scaledRect(headerLayout(visualRect()).state);
}

QString GroupCardView::syncStateText() const
{
    return headerLayout(visualRect()).stateText;
}

QRectF GroupCardView::stylePillRect() const
{
    return scaledRect(headerLayout(visualRect()).pill);
}

void GroupCardView::paintContent(QPainter &painter, const QRectF &rect)
{
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const GroupCardContent content = GroupCardContent::of(m_group);
    const HeaderLayout header = headerLayout(rect);

    // Header: the icon (a child), name over count and sync state, the style pill at the end.
    painter.fillPath(ContinuousShape::roundedRect(header.pill, 6), AppColors::bgBadge.resolve(appearance));
    painter.setFont(pillFont());
    // Words, not a symbol: the secondary text reads on the badge's grey (the icon grey did not).
    painter.setPen(AppColors::text2.resolve(appearance));
    painter.drawText(header.pill, Qt::AlignCenter, content.styleLabel);

    const QFontMetricsF nameMetrics(nameFont());
    const QFontMetricsF smallMetrics(smallFont());
    drawLine(painter, header.name.topLeft(), nameMetrics.elidedText(content.displayName, Qt::ElideRight, header.name.width()), nameFont(),
             (content.isUntitled ? AppColors::text3 : AppColors::text1).resolve(appearance));
    drawLine(painter, header.count.topLeft(), content.countText, smallFont(), AppColors::text3.resolve(appearance));
    // An empty group has nothing to place in the Dock (syncing all passes it by), so its card
    // claims neither state rather than "Not synced" beside a button that says all is synced.
    m_showsSyncState = !header.stateText.isEmpty();
    const bool synced = m_showsSyncState && m_store.isGroupSyncedToDock(m_group);
    m_showsSynced = synced;
    if (m_showsSyncState) {
        const QColor stateColor = (synced ? AppColors::success : AppColors::warning).resolve(appearance);
        painter.setPen(Qt::NoPen);
        painter.setBrush(stateColor);
        painter.drawEllipse(header.dot);
        drawLine(painter, header.state.topLeft(), smallMetrics.elidedText(header.stateText, Qt::ElideRight, header.state.width()),
                 smallFont(), (synced ? AppColors::successInk : AppColors::warningInk).resolve(appearance));
    }

    // Strip: the thumbnails (children), the overflow tile, then the quick-add column (its button
    // is a child too).
    const QRectF column = quickAddColumn(rect);
    if (const StripLayout strip = stripLayout(rect); strip.hiddenItems > 0) {
        const QRectF tile = stripTile(rect, strip.thumbnails);
        painter.fillPath(ContinuousShape::roundedRect(tile, 10), AppColors::bgHover.resolve(appearance));
        painter.setFont(pillFont());
        painter.setPen(AppColors::text3.resolve(appearance));
        painter.drawText(tile, Qt::AlignCenter, u'+' + QString::number(strip.hiddenItems));
    }
    painter.setFont(hintFont());
    painter.setPen(AppColors::text3.resolve(appearance));
    painter.drawText(QRectF(column.left() - 20, column.top() + thumbnailSide + hintSpacing, column.width() + 40, column.height()),
                     Qt::AlignHCenter | Qt::AlignTop, m_quickAddHint);
}
