#include "Kestrowan/editor/DockBarButton.h"

#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "NVLXDesign/SystemFont.h"

#include <QPainter>

namespace {

constexpr qreal kHorizontalPadding = 10;
constexpr qreal kVerticalPadding = 5;
constexpr qreal kRadius = 8;

} // namespace

DockBarButton::DockBarButton(const QString &text, bool accented, QWidget *parent) : PointerPlainButton(parent), m_accented(accented)
{
    setText(text);
    setAccessibleName(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
}

QFont DockBarButton::labelFont() const
{
    return SystemFont::font(11, m_accented ? QFont::DemiBold : QFont::Medium);
}

QSize DockBarButton::sizeHint() const
{
    const QFontMetricsF metrics(labelFont());
    return QSize(qCeil(metrics.horizontalAdvance(text()) + 2 * kHorizontalPadding), qCeil(metrics.height() + 2 * kVerticalPadding));
}

void DockBarButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const RoundedSurface surface = RoundedSurface::glassButton(kRadius, m_accented, effectiveAppearance(this));
    surface.paintFill(painter, QRectF(rect()));
    surface.paintOutline(painter, QRectF(rect()));
    painter.setFont(labelFont());
    painter.setPen(m_accented ? AppColors::accentInk.resolve(this) : AppColors::text2.resolve(this));
    painter.drawText(QRectF(rect()), Qt::AlignCenter, text());
}
