#include "Kestrowan/mainwindow/NewGroupCardView.h"

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QPainter>

NewGroupCardView::NewGroupCardView(QWidget *parent)
    : HoverCard(parent)
{
    setFocusPolicy(Qt::TabFocus);
    retitle();
}

void NewGroupCardView::retitle()
{
    setAccessibleName(localized(QStringLiteral("ax.newGroup")));
    update();
}

QSize NewGroupCardView::sizeHint() const
{
    return QSize(280 + 2 * bleed, 120 + 2 * bleed);
}

void NewGroupCardView::paintContent(QPainter &painter, const QRectF &rect)
{
    const QFont titleFont = SystemFont::font(15, QFont::DemiBold);
    const QFontMetricsF metrics(titleFont);
    const qreal tile = 52;
    const qreal spacing = 10;
    const qreal height = tile + spacing + metrics.height();
    const QRectF content = rect.adjusted(14, 14, -14, -14);
    const qreal top = content.top() + (content.height() - height) / 2;

    const QRectF tileRect(content.center().x() - tile / 2, top, tile, tile);
    const EffectiveAppearance appearance = effectiveAppearance(this);
    painter.fillPath(ContinuousShape::roundedRect(tileRect, 12),
                     AppColors::accent.resolve(appearance, 0.12 + 0.06 * hoverProgress()));
    if (const auto plus = SymbolImage::named(QStringLiteral("plus"))) {
        const SymbolImage symbol = plus->configured(21, SymbolImage::Weight::Semibold, AppColors::accent.resolve(appearance));
        const QSizeF size = symbol.size();
        symbol.render(painter, QRectF(tileRect.center() - QPointF(size.width() / 2, size.height() / 2), size));
    }
    painter.setFont(titleFont);
    painter.setPen(AppColors::text1.resolve(appearance));
    const QRectF textRect(content.left(), tileRect.bottom() + spacing, content.width(), metrics.height());
    painter.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop,
                     metrics.elidedText(localized(QStringLiteral("groupList.newGroup")), Qt::ElideRight, content.width()));
}
