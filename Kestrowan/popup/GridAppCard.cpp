#include "Kestrowan/popup/GridAppCard.h"

#include "Kestrowan/popup/PopupStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

namespace {

constexpr qreal iconSide = 50;
constexpr qreal nameWidth = 84;
constexpr qreal nameSize = 12;
constexpr qreal stackSpacing = 6;

} // namespace

GridAppCard::GridAppCard(PopupCellInputs inputs, QWidget *parent)
    : PopupItemCell(std::move(inputs), parent)
{
    setFixedSize(cardWidth, cardHeight);
}

QStringList GridAppCard::nameLines() const
{
    const QFont font = PopupStyle::font(nameSize, QFont::Medium);
    const QFontMetricsF metrics(font);
    QTextLayout layout(inputs().app.name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    const QString &name = inputs().app.name;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(nameWidth);
        if (lines.size() == 1) {
            // The second line takes the rest of the name, cut with an ellipsis.
            lines.append(metrics.elidedText(name.mid(line.textStart()).trimmed(), Qt::ElideRight, nameWidth));
            break;
        }
        lines.append(name.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

void GridAppCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    applyPressedOpacity(painter);
    paintBackground(painter, 14);

    const QStringList lines = nameLines();
    const QFont font = PopupStyle::font(nameSize, QFont::Medium);
    const QFontMetricsF metrics(font);
    const qreal lineHeight = metrics.height();
    const qreal stackHeight = iconSide + stackSpacing + lineHeight * lines.size();
    const qreal top = (cardHeight - stackHeight) / 2;
    const QRectF iconRect((cardWidth - iconSide) / 2, top, iconSide, iconSide);

    painter.save();
    if (isHighlighted()) {
        const QPointF center = iconRect.center();
        painter.translate(center);
        painter.scale(1.08, 1.08);
        painter.translate(-center);
    }
    paintPicture(painter, picture(), iconRect, 10);
    painter.restore();
    // The badge overhangs the picture's corner by 4 points and does not grow with it.
    paintOpenerBadge(painter, QRectF(iconRect.right() + 4 - 16, iconRect.bottom() + 4 - 16, 16, 16), 0.4, 2);

    painter.setFont(font);
    painter.setPen(PopupStyle::textPrimary(this));
    qreal y = iconRect.bottom() + stackSpacing;
    for (const QString &line : lines) {
        painter.drawText(QRectF((cardWidth - nameWidth) / 2, y, nameWidth, lineHeight), Qt::AlignHCenter | Qt::AlignTop, line);
        y += lineHeight;
    }

    const QString badge = commandBadgeText();
    if (!badge.isEmpty()) {
        const QFont badgeFont = PopupStyle::font(9, QFont::DemiBold, true);
        const QFontMetricsF badgeMetrics(badgeFont);
        const QRectF box(5, 5, badgeMetrics.horizontalAdvance(badge) + 8, badgeMetrics.height() + 4);
        painter.setPen(QPen(PopupStyle::strokeSubtle(this), 0.5));
        painter.setBrush(PopupStyle::surfaceRaised(this));
        painter.drawRoundedRect(box, 4, 4);
        painter.setFont(badgeFont);
        painter.setPen(PopupStyle::secondaryStyle(this));
        painter.drawText(box, Qt::AlignCenter, badge);
    }
}
