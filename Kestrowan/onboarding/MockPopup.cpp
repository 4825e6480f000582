#include "Kestrowan/onboarding/MockPopup.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/onboarding/OnboardingStyle.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SoftShadow.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/VirtualKeys.h"

#include <QFontMetricsF>
#include <QPainter>

using namespace OnboardingColors;


namespace {

constexpr qreal margin = 8; // room for the shadow
constexpr qreal headerHeight = 10 + 16 + 6;
constexpr qreal searchHeight = 5 + 13 + 5 + 8;
// The badges sit in a band of their own above the icons: a key written out ("Super+1") is most of
// an icon wide and would cover its top.
constexpr qreal badgeBand = 11;
constexpr qreal itemsHeight = 6 + badgeBand + 38 + 4 + 12 + 6;
constexpr qreal cellWidth = 54;
constexpr qreal cellSpacing = 10;

QFont badgeFont() { return SystemFont::monospacedFont(7, QFont::Bold); }
constexpr qreal footerHeight = 6 + 12 + 6;

} // namespace

MockPopup::MockPopup(const QString &name, const QList<DockReader::DockApp> &dockApps, QWidget *parent)
    : QWidget(parent), m_name(name), m_items(dockApps.mid(0, maxItems))
{
    const qreal height = headerHeight + searchHeight + (m_items.isEmpty() ? 0 : itemsHeight) + footerHeight;
    setFixedSize(int(width + 2 * margin), int(height + 2 * margin));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QString MockPopup::badgeText(int position)
{
    return KeyNotation::text(VirtualKeys::commandFlag, QString::number(position));
}

QRectF MockPopup::panelRect() const
{
    return QRectF(rect()).adjusted(margin, margin - 2, -margin, -margin - 2);
}

QRectF MockPopup::iconRect(int index) const
{
    const QRectF panel = panelRect();
    const qreal rowWidth = m_items.size() * cellWidth + (m_items.size() - 1) * cellSpacing;
    const qreal x = panel.center().x() - rowWidth / 2 + index * (cellWidth + cellSpacing);
    return QRectF(x + (cellWidth - 38) / 2, panel.top() + headerHeight + searchHeight + 6 + badgeBand, 38, 38);
}

QRectF MockPopup::badgeRect(int index) const
{
    const QRectF icon = iconRect(index);
    const QFontMetricsF metrics(badgeFont());
    const QSizeF size(metrics.horizontalAdvance(badgeText(index + 1)) + 6, metrics.height() + 2);
    // At the icon's top-leading corner, 2 points out to the left, resting on the icon's edge.
    return QRectF(QPointF(icon.left() - 2, icon.top() + 2 - size.height()), size);
}

QRectF MockPopup::searchRect() const
{
    const QRectF panel = panelRect();
    return QRectF(panel.left() + 10, panel.top() + headerHeight, panel.width() - 20, 23);
}

QRectF MockPopup::footerRect() const
{
    const QRectF panel = panelRect();
    return QRectF(panel.left() + 12, panel.bottom() - footerHeight + 6, panel.width() - 24, 12);
}

void MockPopup::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF panelRect = this->panelRect();
    paintSoftShadow(painter, panelRect, 14, popupShadow.resolve(this, 0.35), 6, QPointF(0, 2));
    const QPainterPath shape = ContinuousShape::roundedRect(panelRect, 14);
    painter.fillPath(shape, raisedBackground.resolve(this));
    painter.setPen(QPen(popupBorder.resolve(this, 0.65), 1));
    painter.drawPath(shape);

    const qreal left = panelRect.left();
    const qreal right = panelRect.right();
    const qreal top = panelRect.top();

    // Header: the name and a close mark.
    const QRectF closeRect(right - 12 - 16, top + 10, 16, 16);
    painter.setFont(OnboardingStyle::font(11, QFont::DemiBold));
    painter.setPen(primaryText.resolve(this));
    const QRectF nameRect(left + 12, top + 10, closeRect.left() - left - 20, 16);
    painter.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(painter.font()).elidedText(m_name, Qt::ElideRight, nameRect.width()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(faintFill.resolve(this));
    painter.drawEllipse(closeRect);
    OnboardingStyle::paintSymbol(painter, QStringLiteral("xmark"), closeRect, 8, SymbolImage::Weight::Bold, faintText.resolve(this));

    // Search field.
    const QRectF field = searchRect();
    painter.fillPath(ContinuousShape::roundedRect(field, 6), faintFill.resolve(this, 0.6));
    // The prompt and the footer's hints in the popup's own tertiary grey: the faint one is for
    // what is disabled, and its words fell below 2:1 in the light look.
    const QColor prompt = secondaryText.resolve(this);
    OnboardingStyle::paintSymbol(painter, QStringLiteral("magnifyingglass"), QRectF(field.left() + 8, field.top(), 10, field.height()), 9,
                                 SymbolImage::Weight::Regular, prompt);
    painter.setFont(OnboardingStyle::font(10));
    painter.setPen(prompt);
    painter.drawText(QRectF(field.left() + 24, field.top(), field.width() - 32, field.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     localized(QStringLiteral("popup.search.placeholder")));

    // Items, centred as a row.
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const QRectF icon = iconRect(int(i));
        OnboardingStyle::paintAppIcon(painter, this, m_items[i], icon, 9);
        const QRectF badge = badgeRect(int(i));
        painter.fillPath(ContinuousShape::roundedRect(badge, 3), accent.resolve(this, 0.85));
        painter.setFont(badgeFont());
        painter.setPen(white.resolve(this));
        painter.drawText(badge, Qt::AlignCenter, badgeText(int(i) + 1));
        painter.setFont(OnboardingStyle::font(9));
        painter.setPen(subduedText.resolve(this));
        const QRectF nameBox(icon.center().x() - cellWidth / 2, icon.bottom() + 4, cellWidth, 12);
        painter.drawText(nameBox, Qt::AlignHCenter | Qt::AlignVCenter,
                         QFontMetricsF(painter.font()).elidedText(m_items[i].name, Qt::ElideRight, cellWidth));
    }

    // Footer hints.
    const QRectF footer = footerRect();
    const QColor hintColor = secondaryText.resolve(this);
    const auto hint = [&](const QString &key, const QString &text, qreal x, bool alignRight) {
        const QFont keyFont = OnboardingStyle::font(8, QFont::DemiBold);
        const QFont textFont = OnboardingStyle::font(9);
        const qreal keyWidth = QFontMetricsF(keyFont).horizontalAdvance(key);
        const qreal textWidth = QFontMetricsF(textFont).horizontalAdvance(text);
        const qreal start = alignRight ? x - keyWidth - 2 - textWidth : x;
        painter.setPen(hintColor);
        painter.setFont(keyFont);
        painter.drawText(QRectF(start, footer.top(), keyWidth + 1, footer.height()), Qt::AlignLeft | Qt::AlignVCenter, key);
        painter.setFont(textFont);
        painter.drawText(QRectF(start + keyWidth + 2, footer.top(), textWidth + 1, footer.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    };
    hint(KeyNotation::text(VirtualKeys::commandFlag, QStringLiteral("A")), localized(QStringLiteral("popup.launchAll")), footer.left(), false);
    hint(QStringLiteral("\u2191\u2193"), localized(QStringLiteral("popup.hint.navigate")), footer.right(), true);
}
