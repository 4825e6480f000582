#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QTextLayout;

// Where wrapped text may break. Japanese and Chinese have no spaces between words, and Qt would
// break between any two characters, splitting words in two. The ja and zh-Hans tables mark the
// places a line may break with a zero-width space between phrases; the characters inside a phrase
// are then held together with word joiners, so lines break only at the marks, at spaces and where
// punctuation allows. Both marks are zero-width and never drawn. A space inside a phrase, or beside
// kana and ideographs, is held as a no-break space.
namespace LineBreaking {

inline constexpr QChar phraseMark = QChar(0x200B);
inline constexpr QChar wordJoiner = QChar(0x2060);
// What a space inside a phrase becomes: drawn as a space, never a place to break.
inline constexpr QChar noBreakSpace = QChar(0x00A0);

// The text with each marked phrase held together; a text without marks comes back unchanged.
QString joinPhrases(const QString &text);

// The text without the break marks and joiners, its held spaces plain again, as a reader sees it.
QString visibleText(const QString &text);

// Breaks the layout's text into lines of `width`, stacked from the top.
void layOutLines(QTextLayout &layout, qreal width);

// The lines `text` breaks into at `width` (trimmed, in reading order).
QStringList wrappedLines(const QFont &font, const QString &text, qreal width);

// A name under a picture: at most `maxLines` lines of `width`, broken between words where it can
// and anywhere where a word alone is wider; the last line takes the rest, cut with "…".
QStringList elidedLines(const QFont &font, const QString &text, qreal width, int maxLines = 2);

// The narrowest width, not over `width`, at which `text` still takes as many lines as at `width`:
// the lines come out even, so the last never holds a lone word or character.
qreal balancedWidth(const QFont &font, const QString &text, qreal width);

} // namespace LineBreaking
