#include "Kestrowan/popup/ListAppRow.h"

#include "Kestrowan/popup/OpenedIndicator.h"
#include "Kestrowan/popup/PopupStyle.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

constexpr qreal iconSide = 34;
constexpr qreal spacing = 12;
constexpr qreal padding = 12;
constexpr qreal chevronSize = 11;

QFont nameFont() { return PopupStyle::font(14, QFont::Medium); }
QFont badgeFont() { return PopupStyle::font(12, QFont::DemiBold, true); }

} // namespace

ListAppRow::ListAppRow(PopupCellInputs inputs, QWidget *parent)
    : PopupItemCell(std::move(inputs), parent)
{
    setFixedHeight(rowHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QRectF ListAppRow::badgeRect() const
{
    const QString badge = commandBadgeText();
    const qreal chevronWidth = PopupStyle::symbolSize(QStringLiteral("chevron.right"), chevronSize).width();
    const qreal right = width() - padding - chevronWidth - spacing;
    if (badge.isEmpty())
        return QRectF(right, 0, 0, 0);
    const QFontMetricsF metrics(badgeFont());
    const qreal w = metrics.horizontalAdvance(badge) + 10;
    const qreal h = metrics.height() + 4;
    return QRectF(right - w, (rowHeight - h) / 2, w, h);
}

QRectF ListAppRow::nameRect() const
{
    const qreal left = padding + iconSide + spacing;
    // At least 6 points between the name and the badge.
    const qreal right = badgeRect().left() - std::max<qreal>(6, spacing);
    return QRectF(left, 0, std::max<qreal>(0, right - left), rowHeight);
}

QString ListAppRow::visibleName() const
{
    return QFontMetricsF(nameFont()).elidedText(inputs().app.name, Qt::ElideRight, nameRect().width());
}

QRectF ListAppRow::pictureRect() const
{
    return QRectF(padding, (rowHeight - iconSide) / 2, iconSide, iconSide);
}

void ListAppRow::paintOverPicture(QPainter &painter) const
{
    const QRectF iconRect = pictureRect();
    if (inputs().isOpened) {
        // Its top trailing corner 3 right of and 3 above the picture's.
        OpenedIndicator::paintDot(painter, QPointF(iconRect.right() + 3 - 4, iconRect.top() - 3 + 4), 8, this);
    }
    // In front of the dot where the two overlap.
    paintOpenerBadge(painter, QRectF(iconRect.right() + 3 - 14, iconRect.top() + 3, 14, 14), 0.3, 1);
}

void ListAppRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintBackground(painter, 10);

    painter.setFont(nameFont());
    painter.setPen(PopupStyle::textPrimary(this));
    painter.drawText(nameRect(), Qt::AlignLeft | Qt::AlignVCenter, visibleName());

    const QString badge = commandBadgeText();
    if (!badge.isEmpty()) {
        const QRectF box = badgeRect();
        // The badge's fill lies on the panel's surface, not on the row's: a focused or hovered row
        // takes its icon's tint, and the key's words would lose their contrast on a deep one.
        painter.setPen(Qt::NoPen);
        painter.setBrush(PopupStyle::surfaceRaised(this));
        painter.drawRoundedRect(box, 4, 4);
        painter.setBrush(PopupStyle::quaternaryFill(this));
        painter.drawRoundedRect(box, 4, 4);
        painter.setFont(badgeFont());
        // On its fill the tertiary grey falls below 4.5:1 in the dark; the secondary one reads
        // there, and the fill still sets the key below the name.
        painter.setPen(PopupStyle::secondaryStyle(this));
        painter.drawText(box, Qt::AlignCenter, badge);
    }
    const QSizeF chevron = PopupStyle::symbolSize(QStringLiteral("chevron.right"), chevronSize);
    PopupStyle::drawSymbol(painter, QStringLiteral("chevron.right"), chevronSize, PopupStyle::SymbolWeight::Semibold,
                           PopupStyle::secondaryStyle(this),
                           QRectF(width() - padding - chevron.width(), 0, chevron.width(), rowHeight));
}
