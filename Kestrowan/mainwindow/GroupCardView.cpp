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
    QMenu menu(this);
    QAction *remove = menu.addAction(localized(QStringLiteral("groupList.delete")));
    if (menu.exec(event->globalPos()) == remove)
        emit deleteRequested(m_group.id);
}

void GroupCardView::paintContent(QPainter &painter, const QRectF &rect)
{
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const GroupCardContent content = GroupCardContent::of(m_group);
    const QRectF inner = rect.adjusted(padding, padding, -padding, -padding);

    // Header: the icon (a child), name over count and sync state, the style pill at the end.
    const QRectF icon = iconRect(rect);

    const QFont pillFont = SystemFont::font(11, QFont::Medium);
    const QFontMetricsF pillMetrics(pillFont);
    const QSizeF pillSize(pillMetrics.horizontalAdvance(content.styleLabel) + 14, pillMetrics.height() + 6);
    const QRectF pill(inner.right() - pillSize.width(), icon.center().y() - pillSize.height() / 2, pillSize.width(), pillSize.height());
    painter.fillPath(ContinuousShape::roundedRect(pill, 6), AppColors::bgBadge.resolve(appearance));
    painter.setFont(pillFont);
    painter.setPen(AppColors::icon.resolve(appearance));
    painter.drawText(pill, Qt::AlignCenter, content.styleLabel);

    const QFont nameFont = SystemFont::font(13, QFont::DemiBold);
    const QFont smallFont = SystemFont::font(11);
    const QFontMetricsF nameMetrics(nameFont);
    const QFontMetricsF smallMetrics(smallFont);
    const qreal textLeft = icon.right() + 10;
    const qreal textWidth = std::max<qreal>(0, pill.left() - 10 - textLeft);
    const qreal columnHeight = nameMetrics.height() + 3 + smallMetrics.height();
    const qreal columnTop = icon.center().y() - columnHeight / 2;
    drawLine(painter, {textLeft, columnTop}, nameMetrics.elidedText(content.displayName, Qt::ElideRight, textWidth), nameFont,
             (content.isUntitled ? AppColors::text3 : AppColors::text1).resolve(appearance));

    const qreal rowTop = columnTop + nameMetrics.height() + 3;
    const qreal countWidth = drawLine(painter, {textLeft, rowTop}, content.countText, smallFont, AppColors::text3.resolve(appearance));
    // An empty group has nothing to place in the Dock (syncing all passes it by), so its card
    // claims neither state rather than "Not synced" beside a button that says all is synced.
    m_showsSyncState = !m_group.apps.isEmpty();
    const bool synced = m_showsSyncState && m_store.isGroupSyncedToDock(m_group);
    m_showsSynced = synced;
    if (m_showsSyncState) {
        const QColor stateColor = (synced ? AppColors::success : AppColors::warning).resolve(appearance);
        const QRectF dot(textLeft + countWidth + 5, rowTop + smallMetrics.height() / 2 - 2, 4, 4);
        painter.setPen(Qt::NoPen);
        painter.setBrush(stateColor);
        painter.drawEllipse(dot);
        const qreal stateLeft = dot.right() + 5;
        drawLine(painter, {stateLeft, rowTop},
                 smallMetrics.elidedText(localized(synced ? QStringLiteral("groupCard.synced") : QStringLiteral("groupCard.notSynced")),
                                         Qt::ElideRight, std::max<qreal>(0, textLeft + textWidth - stateLeft)),
                 smallFont, stateColor);
    }

    // Strip: the thumbnails (children), the overflow tile, then the quick-add column (its button
    // is a child too).
    const QRectF column = quickAddColumn(rect);
    if (const StripLayout strip = stripLayout(rect); strip.hiddenItems > 0) {
        const QRectF tile = stripTile(rect, strip.thumbnails);
        painter.fillPath(ContinuousShape::roundedRect(tile, 10), AppColors::bgHover.resolve(appearance));
        painter.setFont(pillFont);
        painter.setPen(AppColors::text3.resolve(appearance));
        painter.drawText(tile, Qt::AlignCenter, u'+' + QString::number(strip.hiddenItems));
    }
    painter.setFont(hintFont());
    painter.setPen(AppColors::text4.resolve(appearance));
    painter.drawText(QRectF(column.left() - 20, column.top() + thumbnailSide + hintSpacing, column.width() + 40, column.height()),
                     Qt::AlignHCenter | Qt::AlignTop, m_quickAddHint);
}
