#include "Kestrowan/popup/PopupStyle.h"

#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "NVLXDesign/SystemFont.h"

#include <QPainter>
#include <QWidget>

namespace PopupStyle {

namespace {

// Asks the window: inside it, areas that let the card show through carry a clear palette.
EffectiveAppearance appearanceOf(const QWidget *widget)
{
    return effectiveAppearance(widget ? widget->window() : nullptr);
}

QColor token(const DynamicColor &color, const QWidget *widget)
{
    return color.resolve(appearanceOf(widget));
}

// The system's hierarchical fills, which have no token of their own.
QColor pick(const QWidget *widget, quint32 dark, qreal darkAlpha, quint32 light, qreal lightAlpha)
{
    return appearanceOf(widget) == EffectiveAppearance::Dark ? colorFromHex(dark, darkAlpha) : colorFromHex(light, lightAlpha);
}

SymbolImage::Weight symbolWeight(SymbolWeight weight)
{
    switch (weight) {
    case SymbolWeight::Regular: return SymbolImage::Weight::Regular;
    case SymbolWeight::Medium: return SymbolImage::Weight::Medium;
    case SymbolWeight::Semibold: return SymbolImage::Weight::Semibold;
    case SymbolWeight::Bold: return SymbolImage::Weight::Bold;
    }
    return SymbolImage::Weight::Regular;
}

} // namespace

QColor surfaceRaised(const QWidget *w) { return token(AppColors::surfaceElevated, w); }
QColor surfaceTint(const QWidget *w) { return token(AppColors::bgInput, w); }
QColor strokeSubtle(const QWidget *w) { return token(AppColors::borderCard, w); }
QColor strokeStrong(const QWidget *w) { return token(AppColors::borderStrong, w); }
QColor shadowSoft(const QWidget *w) { return token(AppColors::shadow, w); }
QColor accent(const QWidget *w) { return token(AppColors::accent, w); }
QColor accentInk(const QWidget *w) { return token(AppColors::accentInk, w); }
QColor successGreen(const QWidget *w) { return token(AppColors::success, w); }
QColor textPrimary(const QWidget *w) { return token(AppColors::text1, w); }
QColor textSecondary(const QWidget *w) { return token(AppColors::text2, w); }
QColor textQuaternary(const QWidget *w) { return token(AppColors::text4, w); }
QColor secondaryStyle(const QWidget *w) { return secondaryStyleColor.resolve(appearanceOf(w)); }
QColor tertiaryStyle(const QWidget *w) { return tertiaryStyleColor.resolve(appearanceOf(w)); }
QColor quaternaryFill(const QWidget *w) { return pick(w, 0xFFFFFF, 0.06, 0x000000, 0.05); }
QColor separator(const QWidget *w) { return pick(w, 0xFFFFFF, 0.15, 0x000000, 0.12); }

QFont font(qreal points, QFont::Weight weight, bool monospaced)
{
    if (!monospaced)
        return SystemFont::font(points, weight);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(qMax(1, qRound(points)));
    font.setWeight(weight);
    return font;
}
void drawSymbol(QPainter &painter, const QString &name, qreal points, SymbolWeight weight, const QColor &color,
                const QRectF &rect)
{
    const std::optional<SymbolImage> symbol = SymbolImage::named(name);
    if (!symbol)
        return;
    const SymbolImage configured = symbol->configured(points, symbolWeight(weight), color);
    const QSizeF size = configured.size();
    configured.render(painter, QRectF(rect.center().x() - size.width() / 2, rect.center().y() - size.height() / 2,
                                      size.width(), size.height()));
}

QSizeF symbolSize(const QString &name, qreal points)
{
    const std::optional<SymbolImage> symbol = SymbolImage::named(name);
    if (!symbol)
        return {};
    return symbol->configured(points, SymbolImage::Weight::Regular, Qt::black).size();
}

QString formatted(const QString &key, const QString &argument)
{
    QString text = localized(key);
    if (text.contains(QLatin1String("%1$@")))
        return text.replace(QLatin1String("%1$@"), argument);
    return text.replace(QLatin1String("%@"), argument);
}

} // namespace PopupStyle
