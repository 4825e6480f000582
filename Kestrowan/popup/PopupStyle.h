#pragma once

#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/DynamicColor.h"

#include <QColor>
#include <QFont>
#include <QString>

class QPainter;
class QRectF;
class QWidget;

// The shared colour tokens, fonts and symbols as the popup's widgets draw them, each resolved for
// the appearance of the widget it is drawn into.
namespace PopupStyle {

QColor surfaceRaised(const QWidget *widget);
QColor surfaceTint(const QWidget *widget);
QColor strokeSubtle(const QWidget *widget);
QColor strokeStrong(const QWidget *widget);
QColor shadowSoft(const QWidget *widget);
QColor accent(const QWidget *widget);
// The accent for words.
QColor accentInk(const QWidget *widget);
QColor successGreen(const QWidget *widget);
QColor textPrimary(const QWidget *widget);
QColor textSecondary(const QWidget *widget);
QColor textQuaternary(const QWidget *widget);
// The hierarchical label styles. They are solid greys rather than black or white at part opacity:
// words in them (key badges, key caps, hints, the search prompt) read at 4.5:1 on the panel, a
// cell and a tinted field of either look, where the translucent ones fell to 2:1 to 4:1.
inline constexpr DynamicColor secondaryStyleColor = AppColors::text2;
inline constexpr DynamicColor tertiaryStyleColor = AppColors::text3;
QColor secondaryStyle(const QWidget *widget);
QColor tertiaryStyle(const QWidget *widget);
// The hierarchical fills, for key caps and badges.
QColor quaternaryFill(const QWidget *widget);
// A divider line at full opacity.
QColor separator(const QWidget *widget);

// The interface font at `points`; `monospaced` takes the monospaced design.
QFont font(qreal points, QFont::Weight weight = QFont::Normal, bool monospaced = false);

enum class SymbolWeight { Regular, Medium, Semibold, Bold };
// Draws the program's symbol `name` at `points`, centred in `rect`; nothing when there is no such symbol.
void drawSymbol(QPainter &painter, const QString &name, qreal points, SymbolWeight weight, const QColor &color,
                const QRectF &rect);
// The symbol's size at `points`; empty when there is no such symbol.
QSizeF symbolSize(const QString &name, qreal points);

// A localised format with one text argument in the place of "%@" (or "%1$@").
QString formatted(const QString &key, const QString &argument);

} // namespace PopupStyle
