#include "Kestrowan/popup/PopupStyle.h"

#include "Kestrowan/icons/SymbolImage.h"
#include "Kestrowan/shell/Localization.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace PopupStyle {

namespace {

// Asks the window: inside it, areas that let the card show through carry a clear palette.
bool isDark(const QWidget *widget)
{
    const QPalette palette = widget ? widget->window()->palette() : QApplication::palette();
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor hex(quint32 rgb, qreal alpha = 1.0)
{
    QColor color = QColor::fromRgb(QRgb(rgb));
    color.setAlphaF(float(alpha));
    return color;
}

QColor pick(const QWidget *widget, quint32 dark, qreal darkAlpha, quint32 light, qreal lightAlpha)
{
    return isDark(widget) ? hex(dark, darkAlpha) : hex(light, lightAlpha);
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

QColor surfaceRaised(const QWidget *w) { return pick(w, 0x222222, 1, 0xFFFFFF, 1); }
QColor surfaceTint(const QWidget *w) { return pick(w, 0xFFFFFF, 0.031, 0x000000, 0.024); }
QColor strokeSubtle(const QWidget *w) { return pick(w, 0xFFFFFF, 0.039, 0x000000, 0.031); }
QColor strokeStrong(const QWidget *w) { return pick(w, 0xFFFFFF, 0.122, 0x000000, 0.094); }
QColor shadowSoft(const QWidget *w) { return pick(w, 0x000000, 0.188, 0x1A120A, 0.031); }
QColor accent(const QWidget *w) { return pick(w, 0xFF9966, 1, 0xFF7A44, 1); }
QColor successGreen(const QWidget *w) { return pick(w, 0x30D158, 1, 0x34C759, 1); }
QColor textPrimary(const QWidget *w) { return pick(w, 0xEEEEEE, 1, 0x1A1A1A, 1); }
QColor textSecondary(const QWidget *w) { return pick(w, 0xB8B8B8, 1, 0x666666, 1); }
QColor textQuaternary(const QWidget *w) { return pick(w, 0x6F6F6F, 1, 0xBBBBBB, 1); }
QColor secondaryStyle(const QWidget *w) { return pick(w, 0xFFFFFF, 0.55, 0x000000, 0.5); }
QColor tertiaryStyle(const QWidget *w) { return pick(w, 0xFFFFFF, 0.25, 0x000000, 0.26); }
QColor quaternaryFill(const QWidget *w) { return pick(w, 0xFFFFFF, 0.06, 0x000000, 0.05); }
QColor separator(const QWidget *w) { return pick(w, 0xFFFFFF, 0.15, 0x000000, 0.12); }

QFont font(qreal points, QFont::Weight weight, bool monospaced)
{
    QFont font(monospaced ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("Inter"));
    if (!monospaced)
        font.setFamilies({QStringLiteral("Inter"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans CJK SC")});
    font.setStyleHint(monospaced ? QFont::Monospace : QFont::SansSerif);
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
