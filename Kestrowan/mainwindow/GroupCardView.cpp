#include "Kestrowan/mainwindow/GroupCardView.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/mainwindow/GroupCardContent.h"
#include "Kestrowan/mainwindow/LocalizedFormat.h"
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
{
    setFocusPolicy(Qt::TabFocus);
    connect(this, &HoverCard::hoverEntered, this, [] { playHapticTick(); });
    connect(this, &HoverCard::clicked, this, [this] {
        if (!isShowingAddMenu())
            emit tapped(m_group.id);
    });
    connect(m_quickAdd, &QAbstractButton::clicked, this, &GroupCardView::showAddMenu);
    if (m_skinManager) {
        connect(m_skinManager, &SkinManager::availableSkinsChanged, this, [this] {
            m_icon = QPixmap();
            update();
        });
    }
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
    if (group.apps != m_group.apps || group.iconStyle != m_group.iconStyle || group.skinId != m_group.skinId)
        m_icon = QPixmap();
    if (group.apps != m_group.apps)
        m_thumbnails.clear();
    m_group = group;
    refreshAccessibility();
    placeQuickAdd();
    update();
}

void GroupCardView::refreshAccessibility()
{
    const GroupCardContent content = GroupCardContent::of(m_group);
    setAccessibleName(localizedFormat(QStringLiteral("ax.groupCard"), {content.displayName, m_group.apps.size()}));
    setAccessibleDescription(localized(QStringLiteral("ax.groupCard.hint")));
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

QRectF GroupCardView::quickAddColumn(const QRectF &rect) const
{
    const QFontMetricsF metrics(hintFont());
    const qreal width = std::max<qreal>(thumbnailSide, metrics.horizontalAdvance(localized(QStringLiteral("groupCard.quickAddHint"))));
    const qreal height = thumbnailSide + hintSpacing + metrics.height();
    // The row sits below the header; a tall script's hint may lift it a little so that it stays
    // inside the card.
    const qreal top = std::min(rect.top() + padding + iconSide + 10, rect.bottom() - 3 - height);
    return QRectF(rect.right() - padding - width, top, width, height);
}

void GroupCardView::placeQuickAdd()
{
    const QRectF column = quickAddColumn(visualRect());
    const QRectF button(column.center().x() - thumbnailSide / 2, column.top(), thumbnailSide, thumbnailSide);
    m_quickAdd->move(scaledRect(button).center().toPoint() - QPoint(QuickAddButton::side / 2, QuickAddButton::side / 2));
}

void GroupCardView::hoverProgressChanged()
{
    placeQuickAdd();
}

void GroupCardView::resizeEvent(QResizeEvent *event)
{
    HoverCard::resizeEvent(event);
    placeQuickAdd();
}

void GroupCardView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *remove = menu.addAction(localized(QStringLiteral("groupList.delete")));
    if (menu.exec(event->globalPos()) == remove)
        emit deleteRequested(m_group.id);
}

const QPixmap &GroupCardView::groupIcon()
{
    if (m_icon.isNull()) {
        std::optional<SkinDefinition> skin;
        if (m_group.iconStyle == AppGroup::IconStyle::Skin && m_group.skinId && m_skinManager)
            skin = m_skinManager->skinWithID(*m_group.skinId);
        const QImage composed = IconComposer::composeGroupIcon(m_group.apps, m_group.iconStyle, skin, m_skinManager.data());
        const qreal scale = devicePixelRatioF();
        const int pixels = qRound(iconSide * scale * HoverCard::hoverScale);
        QPixmap pixmap = QPixmap::fromImage(composed.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(scale * HoverCard::hoverScale);
        m_icon = pixmap;
    }
    return m_icon;
}

QPixmap GroupCardView::itemThumbnail(int index)
{
    if (m_thumbnails.size() != m_group.apps.size())
        m_thumbnails = QList<QPixmap>(m_group.apps.size());
    QPixmap &thumbnail = m_thumbnails[index];
    if (thumbnail.isNull()) {
        const qreal scale = devicePixelRatioF() * HoverCard::hoverScale;
        const int pixels = qRound(thumbnailSide * scale);
        thumbnail = m_group.apps[index].itemIcon().pixmap(QSize(pixels, pixels));
        if (thumbnail.isNull()) {
            thumbnail = QPixmap(pixels, pixels);
            thumbnail.fill(Qt::transparent);
        }
        thumbnail.setDevicePixelRatio(double(thumbnail.width()) / thumbnailSide);
    }
    return thumbnail;
}

void GroupCardView::paintContent(QPainter &painter, const QRectF &rect)
{
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const GroupCardContent content = GroupCardContent::of(m_group);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF inner = rect.adjusted(padding, padding, -padding, -padding);

    // Header: icon, name over count and sync state, the style pill at the end.
    const QRectF iconRect(inner.topLeft(), QSizeF(iconSide, iconSide));
    painter.save();
    painter.setClipPath(ContinuousShape::roundedRect(iconRect, 0.24 * iconSide));
    painter.drawPixmap(iconRect, groupIcon(), QRectF());
    painter.restore();

    const QFont pillFont = SystemFont::font(11, QFont::Medium);
    const QFontMetricsF pillMetrics(pillFont);
    const QSizeF pillSize(pillMetrics.horizontalAdvance(content.styleLabel) + 14, pillMetrics.height() + 6);
    const QRectF pill(inner.right() - pillSize.width(), iconRect.center().y() - pillSize.height() / 2, pillSize.width(), pillSize.height());
    painter.fillPath(ContinuousShape::roundedRect(pill, 6), AppColors::bgBadge.resolve(appearance));
    painter.setFont(pillFont);
    painter.setPen(AppColors::icon.resolve(appearance));
    painter.drawText(pill, Qt::AlignCenter, content.styleLabel);

    const QFont nameFont = SystemFont::font(13, QFont::DemiBold);
    const QFont smallFont = SystemFont::font(11);
    const QFontMetricsF nameMetrics(nameFont);
    const QFontMetricsF smallMetrics(smallFont);
    const qreal textLeft = iconRect.right() + 10;
    const qreal textWidth = std::max<qreal>(0, pill.left() - 10 - textLeft);
    const qreal columnHeight = nameMetrics.height() + 3 + smallMetrics.height();
    const qreal columnTop = iconRect.center().y() - columnHeight / 2;
    drawLine(painter, {textLeft, columnTop}, nameMetrics.elidedText(content.displayName, Qt::ElideRight, textWidth), nameFont,
             (content.isUntitled ? AppColors::text3 : AppColors::text1).resolve(appearance));

    const bool synced = m_store.isGroupSyncedToDock(m_group);
    const qreal rowTop = columnTop + nameMetrics.height() + 3;
    const qreal countWidth = drawLine(painter, {textLeft, rowTop}, content.countText, smallFont, AppColors::text3.resolve(appearance));
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

    // Strip: thumbnails, the overflow tile, then the quick-add column (its button is a child).
    const QRectF column = quickAddColumn(rect);
    const qreal stripY = column.top() + (column.height() - thumbnailSide) / 2;
    qreal x = inner.left();
    for (int i = 0; i < content.stripItems.size(); ++i) {
        const QRectF tile(x, stripY, thumbnailSide, thumbnailSide);
        if (tile.right() > column.left() - stripSpacing)
            break;
        painter.save();
        painter.setClipPath(ContinuousShape::roundedRect(tile, 10));
        painter.drawPixmap(tile, itemThumbnail(i), QRectF());
        painter.restore();
        x += thumbnailSide + stripSpacing;
    }
    if (!content.overflowText.isEmpty()) {
        const QRectF tile(x, stripY, thumbnailSide, thumbnailSide);
        painter.fillPath(ContinuousShape::roundedRect(tile, 10), AppColors::bgHover.resolve(appearance));
        painter.setFont(pillFont);
        painter.setPen(AppColors::text3.resolve(appearance));
        painter.drawText(tile, Qt::AlignCenter, content.overflowText);
    }
    painter.setFont(hintFont());
    painter.setPen(AppColors::text4.resolve(appearance));
    painter.drawText(QRectF(column.left() - 20, column.top() + thumbnailSide + hintSpacing, column.width() + 40, column.height()),
                     Qt::AlignHCenter | Qt::AlignTop, localized(QStringLiteral("groupCard.quickAddHint")));
}
