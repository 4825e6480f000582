#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// The interface font: Inter, with Noto Sans CJK for Japanese and Chinese text and Noto Color Emoji
// for emoji. Sizes are given in
// points as the layouts give them, where one point is one device-independent pixel, so a 13-point
// label is 13 pixels tall at scale 1 whatever DPI the screen reports.
namespace SystemFont {

// The families in fallback order for an interface language ("ja" and "zh-Hans" put their own CJK
// face before the other so shared ideographs take that language's forms).
QStringList families(const QString &languageCode = QString());

// Makes the families of `languageCode` the interface font: the application's default font (at 13
// points) and the one `font` hands out. Call it at start and whenever the language changes.
void applyToApplication(const QString &languageCode = QString());

// The interface font at `points` with `weight`.
QFont font(qreal points, QFont::Weight weight = QFont::Normal);

// The same with a monospaced face first (the system font's monospaced design), for keys and codes.
QFont monospacedFont(qreal points, QFont::Weight weight = QFont::Normal);

} // namespace SystemFont
