#include "Kestrowan/editor/EditorPillButton.h"

#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QPainter>

namespace {

constexpr qreal kHorizontalPadding = 8;
constexpr qreal kVerticalPadding = 5;
constexpr qreal kRadius = 6;

QFont labelFont()
{
    return SystemFont::font(11, QFont::Medium);
}

} // namespace

EditorPillButton::EditorPillButton(const QString &text, const DynamicColor &textColor, QWidget *parent)
    : PointerPlainButton(parent), m_textColor(textColor)
{
    setText(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

QSize EditorPillButton::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    return QSize(qCeil(metrics.horizontalAdvance(text()) + 2 * kHorizontalPadding), qCeil(metrics.height() + 2 * kVerticalPadding));
}

void EditorPillButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.45);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = ContinuousShape::roundedRect(bounds, kRadius);
    painter.fillPath(shape, AppColors::bgHover.resolve(this));
    painter.setPen(QPen(AppColors::borderCard.resolve(this), 1));
    painter.drawPath(shape);
    painter.setFont(labelFont());
    painter.setPen(m_textColor.resolve(this));
    painter.drawText(QRectF(rect()), Qt::AlignCenter, text());
}
