#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QFont>
#include <QString>

class QBoxLayout;
class QLayout;
class QWidget;
class TokenLabel;

// Small builders the steps share: labels in a token colour and centred rows.
namespace StepParts {

// A label of the interface font at `points`, wrapping unless `singleLine`; a single line is
// elided with "…" where its box is too narrow.
TokenLabel *label(const QString &text, qreal points, QFont::Weight weight, const DynamicColor &color,
                  Qt::Alignment alignment = Qt::AlignCenter, bool singleLine = false);
// The title and subtitle every step opens with: 21 points bold, then 13 points, 6 apart.
QLayout *headline(const QString &title, const QString &subtitle, int maxSubtitleWidth);
// `widget` centred on its own row of `layout`.
void addCentred(QBoxLayout *layout, QWidget *widget);

} // namespace StepParts
