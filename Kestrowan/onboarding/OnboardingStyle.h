#pragma once

#include "Kestrowan/groups/DockReader.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"

#include <QFont>
#include <QString>

class QPainter;
class QRectF;
class QWidget;

// The colour tokens of the first run, by the names its layouts use.
namespace OnboardingColors {
inline constexpr DynamicColor accent = AppColors::accent;
inline constexpr DynamicColor accentShadow = AppColors::shadowAccent;
inline constexpr DynamicColor successGreen = AppColors::success;
inline constexpr DynamicColor warningOrange = AppColors::warning;
inline constexpr DynamicColor primaryText = AppColors::text1;
inline constexpr DynamicColor subduedText = AppColors::text2;
inline constexpr DynamicColor secondaryText = AppColors::text3;
inline constexpr DynamicColor faintText = AppColors::text4;
inline constexpr DynamicColor windowBackground = AppColors::surface;
inline constexpr DynamicColor raisedBackground = AppColors::surfaceElevated;
inline constexpr DynamicColor panel = AppColors::bg;
inline constexpr DynamicColor faintFill = AppColors::bgHover;
inline constexpr DynamicColor subtleFill = AppColors::borderCard;
inline constexpr DynamicColor popupBorder = AppColors::borderStrong;
inline constexpr DynamicColor popupShadow = AppColors::shadow;
inline constexpr DynamicColor white = AppColors::accentOn;
} // namespace OnboardingColors

namespace OnboardingStyle {

QFont font(qreal points, QFont::Weight weight = QFont::Normal);
// A symbol drawn centred in `rect` at `points`; nothing when the program has no such drawing.
void paintSymbol(QPainter &painter, const QString &name, const QRectF &rect, qreal points, SymbolImage::Weight weight,
                 const QColor &color);
// The icon of a Dock application, square at `rect`, clipped to continuous corners of `corner`,
// drawn into `view`; a view that drew the stand-in is drawn again once the icon arrives.
void paintAppIcon(QPainter &painter, QWidget *view, const DockReader::DockApp &app, const QRectF &rect, qreal corner);
// The green dot of a running application in the bottom-trailing corner of an icon at `iconRect`.
void paintRunningIndicator(QPainter &painter, const QRectF &iconRect, const QWidget *widget);

} // namespace OnboardingStyle
