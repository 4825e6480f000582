#include "Kestrowan/editor/EditorActionButton.h"

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QPainter>

namespace {

SymbolImage::Weight symbolWeight(QFont::Weight weight)
{
    if (weight >= QFont::Bold)
        return SymbolImage::Weight::Bold;
    if (weight >= QFont::DemiBold)
        return SymbolImage::Weight::Semibold;
    if (weight >= QFont::Medium)
        return SymbolImage::Weight::Medium;
    return SymbolImage::Weight::Regular;
}

} // namespace

EditorActionButton::Look EditorActionButton::Look::filled(const DynamicColor &fill, const DynamicColor &shadow, bool large)
{
    Look look;
    look.fontSize = large ? 13 : 11;
    look.symbolSize = large ? 13 : 11;
    look.textWeight = QFont::DemiBold;
    look.symbolWeight = large ? QFont::DemiBold : QFont::Medium;
    look.spacing = 5;
    look.horizontalPadding = large ? 16 : 12;
    look.verticalPadding = large ? 8 : 6;
    look.radius = large ? 8 : 7;
    // One ink for both fills, the dark one made for the accent: white is hard to read on the light
    // orange and under four to one on the blue, and the two buttons side by side read as a pair.
    look.foreground = AppColors::accentOn;
    look.fill = fill;
    if (large)
        look.shadow = shadow;
    return look;
}

EditorActionButton::Look EditorActionButton::Look::outlined(bool large)
{
    Look look;
    look.fontSize = large ? 13 : 11;
    look.symbolSize = large ? 13 : 11;
    look.textWeight = QFont::Normal;
    look.symbolWeight = QFont::Normal;
    look.spacing = large ? 5 : 4;
    look.horizontalPadding = large ? 14 : 8;
    look.verticalPadding = large ? 8 : 5;
    look.radius = large ? 8 : 6;
    look.foreground = AppColors::text2;
    look.fill = AppColors::bgHover;
    look.stroke = AppColors::borderCard;
    return look;
}

EditorActionButton::Look EditorActionButton::Look::done()
{
    Look look;
    look.symbolSize = 9;
    look.symbolWeight = QFont::DemiBold;
    look.textWeight = QFont::Medium;
    look.spacing = 4;
    look.horizontalPadding = 8;
    look.verticalPadding = 4;
    // The accent's dark ink: white on the orange stays under 3:1.
    look.foreground = AppColors::accentOn;
    look.fill = AppColors::accent;
    return look;
}

EditorActionButton::Look EditorActionButton::Look::cancel()
{
    Look look;
    look.horizontalPadding = 8;
    look.verticalPadding = 4;
    look.foreground = AppColors::text2;
    look.fill = AppColors::bgHover;
    return look;
}

EditorActionButton::EditorActionButton(const QString &symbol, const QString &text, const Look &look, QWidget *parent)
    : PointerPlainButton(parent), m_symbol(symbol), m_look(look)
{
    setText(text);
    setAccessibleName(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

QFont EditorActionButton::textFont() const
{
    return SystemFont::font(m_look.fontSize, m_look.textWeight);
}

QSizeF EditorActionButton::symbolSize() const
{
    if (m_symbol.isEmpty())
        return {};
    const std::optional<SymbolImage> symbol = SymbolImage::named(m_symbol);
    if (!symbol)
        return {};
    return symbol->configured(m_look.symbolSize, symbolWeight(m_look.symbolWeight), Qt::black).size();
}

QSize EditorActionButton::sizeHint() const
{
    const QFontMetricsF metrics(textFont());
    const QSizeF symbol = symbolSize();
    const qreal gap = symbol.isEmpty() ? 0 : m_look.spacing;
    const qreal width = symbol.width() + gap + metrics.horizontalAdvance(text()) + 2 * m_look.horizontalPadding;
    const qreal height = qMax(symbol.height(), metrics.height()) + 2 * m_look.verticalPadding + (m_look.shadow ? 1 : 0);
    return QSize(qCeil(width), qCeil(height));
}

void EditorActionButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The button keeps a point free below it for its glow; the plain button's pressed fade is a
    // graphics effect of its own, so the glow is painted rather than an effect.
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, m_look.shadow ? -1.5 : -0.5);
    const QPainterPath shape = ContinuousShape::roundedRect(bounds, m_look.radius);
    if (m_look.shadow) {
        for (int i = 1; i <= 2; ++i)
            painter.fillPath(ContinuousShape::roundedRect(bounds.translated(0, i * 0.5).adjusted(-0.5, 0, 0.5, 0.5), m_look.radius),
                             m_look.shadow->resolve(this, 0.5));
    }
    if (m_look.fill)
        painter.fillPath(shape, m_look.fill->resolve(this));
    if (m_look.stroke) {
        painter.setPen(QPen(m_look.stroke->resolve(this), 1));
        painter.drawPath(shape);
    }
    const QColor foreground = m_look.foreground.resolve(this);
    const QFontMetricsF metrics(textFont());
    const QSizeF symbol = symbolSize();
    const qreal gap = symbol.isEmpty() ? 0 : m_look.spacing;
    const qreal contentWidth = symbol.width() + gap + metrics.horizontalAdvance(text());
    qreal x = (width() - contentWidth) / 2;
    if (!symbol.isEmpty()) {
        if (const std::optional<SymbolImage> image = SymbolImage::named(m_symbol)) {
            image->configured(m_look.symbolSize, symbolWeight(m_look.symbolWeight), foreground)
                .render(painter, QRectF(x, bounds.center().y() - symbol.height() / 2, symbol.width(), symbol.height()));
        }
        x += symbol.width() + gap;
    }
    painter.setFont(textFont());
    painter.setPen(foreground);
    painter.drawText(QRectF(x, bounds.top(), width() - x, bounds.height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}
