#include "Kestrowan/popup/GridAppCard.h"

#include "Kestrowan/popup/PopupStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include "Kestrowan/shell/LineBreaking.h"

#include <cmath>

namespace {

constexpr qreal iconSide = 50;
constexpr qreal nameWidth = 84;
constexpr qreal nameSize = 12;
constexpr qreal stackSpacing = 6;

// The key is written out in full ("Super+1"): a size smaller than the name keeps it clear of the
// picture.
QFont badgeFont() { return PopupStyle::font(8, QFont::DemiBold, true); }

} // namespace

GridAppCard::GridAppCard(PopupCellInputs inputs, QWidget *parent)
    : PopupItemCell(std::move(inputs), parent)
{
    setFixedSize(cardWidth, cardHeight);
}

QStringList GridAppCard::nameLines() const
{
    const QString &name = inputs().app.name;
    if (m_linesName == name && !m_lines.isEmpty())
        return m_lines;
    const QStringList lines = LineBreaking::elidedLines(PopupStyle::font(nameSize, QFont::Medium), name, nameWidth);
    m_linesName = name;
    m_lines = lines;
    return lines;
}

QRectF GridAppCard::pictureRect() const
{
    // One place for every card, whatever its name: the icons of a row stand on one line. It lies
    // halfway between where a one-line and a two-line name would centre the stack, so both kinds
    // of card look balanced.
    const qreal lineHeight = QFontMetricsF(PopupStyle::font(nameSize, QFont::Medium)).height();
    const qreal stackHeight = iconSide + stackSpacing + 1.5 * lineHeight;
    return QRectF((cardWidth - iconSide) / 2, std::round((cardHeight - stackHeight) / 2), iconSide, iconSide);
}

QRectF GridAppCard::nameRect() const
{
    const qreal lineHeight = QFontMetricsF(PopupStyle::font(nameSize, QFont::Medium)).height();
    return QRectF((cardWidth - nameWidth) / 2, pictureRect().bottom() + stackSpacing, nameWidth,
                  lineHeight * nameLines().size());
}

QRectF GridAppCard::badgeRect() const
{
    const QString badge = commandBadgeText();
    if (badge.isEmpty())
        return {};
    const QFontMetricsF metrics(badgeFont());
    return QRectF(5, 5, metrics.horizontalAdvance(badge) + 8, metrics.height() + 2);
}

void GridAppCard::paintOverPicture(QPainter &painter) const
{
    // The badge overhangs the picture's corner by 4 points and does not grow with it.
    const QRectF iconRect = pictureRect();
    paintOpenerBadge(painter, QRectF(iconRect.right() + 4 - 16, iconRect.bottom() + 4 - 16, 16, 16), 0.4, 2);
}

void GridAppCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintBackground(painter, 14);

    const QFont font = PopupStyle::font(nameSize, QFont::Medium);
    const qreal lineHeight = QFontMetricsF(font).height();
    painter.setFont(font);
    painter.setPen(PopupStyle::textPrimary(this));
    const QRectF names = nameRect();
    qreal y = names.top();
    for (const QString &line : nameLines()) {
        painter.drawText(QRectF(names.left(), y, names.width(), lineHeight), Qt::AlignHCenter | Qt::AlignTop, line);
        y += lineHeight;
    }

    const QString badge = commandBadgeText();
    if (!badge.isEmpty()) {
        const QRectF box = badgeRect();
        painter.setPen(QPen(PopupStyle::strokeSubtle(this), 0.5));
        painter.setBrush(PopupStyle::surfaceRaised(this));
        painter.drawRoundedRect(box, 4, 4);
        painter.setFont(badgeFont());
        painter.setPen(PopupStyle::secondaryStyle(this));
        painter.drawText(box, Qt::AlignCenter, badge);
    }
}
