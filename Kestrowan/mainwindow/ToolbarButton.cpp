#include "Kestrowan/mainwindow/ToolbarButton.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "NVLXDesign/SystemFont.h"

#include <QEvent>
#include <QPainter>

namespace {

constexpr qreal symbolPoints = 13;
constexpr qreal spacing = 5;
QFont labelFont() { return SystemFont::font(11, QFont::Medium); }

} // namespace

ToolbarButton::ToolbarButton(bool prominent, QWidget *parent)
    : PointerPlainButton(parent)
    , m_prominent(prominent)
{
    setAttribute(Qt::WA_Hover);
}

void ToolbarButton::setContent(const QString &symbol, const QString &text, const DynamicColor &color)
{
    m_symbol = symbol;
    m_text = text;
    m_color = color;
    updateGeometry();
    update();
}

QSize ToolbarButton::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    const QSizeF symbol = SymbolImage::named(m_symbol) ? SymbolImage::named(m_symbol)->configured(symbolPoints, SymbolImage::Weight::Regular, Qt::black).size()
                                                      : QSizeF(symbolPoints, symbolPoints);
    const qreal height = std::max(symbol.height(), metrics.height());
    return QSizeF(10 + symbol.width() + spacing + metrics.horizontalAdvance(m_text) + 10, 5 + height + 5).toSize() + QSize(1, 0);
}

bool ToolbarButton::event(QEvent *event)
{
    if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave)
        update();
    return PointerPlainButton::event(event);
}

void ToolbarButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isDown() ? pressedOpacity : 1.0);
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const RoundedSurface surface = RoundedSurface::toolbarButton(10, m_prominent, underMouse(), appearance);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    surface.paintFill(painter, box);

    // The label (its symbol too, one piece with the words) in the text shade of its colour.
    const QColor color = AppColors::textInk(m_color).resolve(appearance);
    const QFontMetricsF metrics(labelFont());
    qreal x = 10;
    if (const auto image = SymbolImage::named(m_symbol)) {
        const SymbolImage symbol = image->configured(symbolPoints, SymbolImage::Weight::Regular, color);
        const QSizeF size = symbol.size();
        symbol.render(painter, QRectF(QPointF(x, (height() - size.height()) / 2), size));
        x += size.width() + spacing;
    }
    painter.setFont(labelFont());
    painter.setPen(color);
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, m_text);
    surface.paintOutline(painter, box);
}
