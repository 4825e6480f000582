#include "Kestrowan/onboarding/OnboardingStyle.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/Workspace.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace OnboardingStyle {

QFont font(qreal points, QFont::Weight weight)
{
    return SystemFont::font(points, weight);
}

void paintSymbol(QPainter &painter, const QString &name, const QRectF &rect, qreal points, SymbolImage::Weight weight,
                 const QColor &color)
{
    const std::optional<SymbolImage> symbol = SymbolImage::named(name);
    if (!symbol)
        return;
    const SymbolImage configured = symbol->configured(points, weight, color);
    QRectF target(QPointF(), configured.size());
    target.moveCenter(rect.center());
    configured.render(painter, target);
}

void paintAppIcon(QPainter &painter, QWidget *view, const DockReader::DockApp &app, const QRectF &rect, qreal corner)
{
    const qreal scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QIcon icon = Workspace::shared().iconForFile(app.path);
    const QPixmap pixmap = icon.pixmap(rect.size().toSize(), scale);
    const QSize pixels = rect.size().toSize() * scale;
    ApplicationIcon::redrawOnArrival(view, app.path, std::max(pixels.width(), pixels.height()));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipPath(ContinuousShape::roundedRect(rect, corner), Qt::IntersectClip);
    painter.drawPixmap(rect, pixmap, QRectF(pixmap.rect()));
    painter.restore();
}

void paintRunningIndicator(QPainter &painter, const QRectF &iconRect, const QWidget *widget)
{
    // An 8-point dot centred in an 11-point frame at the corner, ringed in the window's colour.
    const QRectF frame(iconRect.right() - 11, iconRect.bottom() - 11, 11, 11);
    QRectF dot(0, 0, 8, 8);
    dot.moveCenter(frame.center());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(OnboardingColors::windowBackground.resolve(widget), 1.5));
    painter.setBrush(OnboardingColors::successGreen.resolve(widget));
    painter.drawEllipse(dot);
    painter.restore();
}

} // namespace OnboardingStyle
