#include "Kestrowan/mainwindow/QuickAddButton.h"

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/ContinuousShape.h"

#include <QEvent>
#include <QPainter>

QuickAddButton::QuickAddButton(QWidget *parent)
    : PointerPlainButton(parent)
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_Hover);
    setAccessibleName(localized(QStringLiteral("ax.quickAdd")));
    setAccessibleDescription(localized(QStringLiteral("ax.quickAdd.hint")));
}

bool QuickAddButton::event(QEvent *event)
{
    if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave)
        update();
    return PointerPlainButton::event(event);
}

void QuickAddButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isDown() ? pressedOpacity : 1.0);
    const bool hovered = underMouse();
    const EffectiveAppearance appearance = effectiveAppearance(this);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = ContinuousShape::roundedRect(box, 10);
    painter.fillPath(shape, (hovered ? AppColors::pressed : AppColors::bgHover).resolve(appearance));
    painter.setPen(QPen((hovered ? AppColors::borderStrong : AppColors::shadow).resolve(appearance), 1));
    painter.drawPath(shape);
    if (const auto plus = SymbolImage::named(QStringLiteral("plus"))) {
        const SymbolImage symbol = plus->configured(13, SymbolImage::Weight::Regular,
                                                    (hovered ? AppColors::accent : AppColors::icon).resolve(appearance));
        const QSizeF size = symbol.size();
        symbol.render(painter, QRectF(QRectF(rect()).center() - QPointF(size.width() / 2, size.height() / 2), size));
    }
}
