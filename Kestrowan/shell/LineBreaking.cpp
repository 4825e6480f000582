#include "Kestrowan/shell/LineBreaking.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace LineBreaking {

namespace {

bool opensBreak(QChar c)
{
    return c == phraseMark || c == wordJoiner || c.isSpace();
}

// Kana, ideographs and the full-width forms: the scripts that set words without spaces.
bool isCjk(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFF00 && u <= 0xFFEF);
}

// A space in Japanese or Chinese only sets a Latin word or a number apart from the text around
// it; a line ending there would leave "Dock" alone at the end of one line and its particle at
// the start of the next. In a marked text every space lies inside a phrase (the marks are the
// breaks); in an unmarked one, the spaces beside kana or ideographs are held.
QString holdSpaces(const QString &text, bool marked)
{
    QString held = text;
    for (qsizetype i = 0; i < held.size(); ++i) {
        if (held.at(i) != u' ')
            continue;
        const bool besideCjk = (i > 0 && isCjk(held.at(i - 1))) || (i + 1 < held.size() && isCjk(held.at(i + 1)));
        if (marked || besideCjk)
            held[i] = noBreakSpace;
    }
    return held;
}

int lineCount(const QFont &font, const QString &text, qreal width)
{
    QTextLayout layout(text, font);
    layOutLines(layout, width);
    return layout.lineCount();
}

} // namespace

void layOutLines(QTextLayout &layout, qreal width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal top = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, top));
        top += line.height();
    }
    layout.endLayout();
}

QString joinPhrases(const QString &given)
{
    const bool marked = given.contains(phraseMark);
    const bool cjk = std::any_of(given.begin(), given.end(), isCjk);
    if (!marked && !cjk)
        return given;
    const QString text = holdSpaces(given, marked);
    if (!marked)
        return text;
    QString joined;
    joined.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        joined.append(c);
        if (i + 1 >= text.size())
            break;
        const QChar next = text.at(i + 1);
        // Never between the halves of a surrogate pair, never beside a break already allowed, and
        // never inside a run of Latin letters, digits and signs: those do not break inside anyway,
        // and placeholders such as "%lld" must stay whole for the numbers put in later.
        const bool latinRun = c.unicode() < 0x80 && next.unicode() < 0x80;
        if (c.isHighSurrogate() || opensBreak(c) || opensBreak(next) || latinRun)
            continue;
        joined.append(wordJoiner);
    }
    return joined;
}

QString visibleText(const QString &text)
{
    QString visible = text;
    visible.remove(phraseMark);
    visible.remove(wordJoiner);
    visible.replace(noBreakSpace, u' ');
    return visible;
}

QStringList wrappedLines(const QFont &font, const QString &text, qreal width)
{
    QTextLayout layout(text, font);
    layOutLines(layout, width);
    QStringList lines;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    return lines;
}

QStringList elidedLines(const QFont &font, const QString &text, qreal width, int maxLines)
{
    const QFontMetricsF metrics(font);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    while (lines.size() < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() + 1 == maxLines) {
            lines.append(metrics.elidedText(text.mid(line.textStart()).trimmed(), Qt::ElideRight, width));
            break;
        }
        lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

qreal balancedWidth(const QFont &font, const QString &text, qreal width)
{
    if (text.isEmpty() || width <= 1)
        return width;
    const int lines = lineCount(font, text, width);
    if (lines <= 1)
        return width;
    // Fewer lines never come back as the width shrinks, so the narrowest width that keeps the
    // count is found by halving.
    int low = 1;
    int high = int(std::floor(width));
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (lineCount(font, text, middle) <= lines)
            high = middle;
        else
            low = middle + 1;
    }
    // A phrase wider than the box sticks out of it at any width; never go narrower than it.
    qreal widest = 0;
    QTextLayout layout(text, font);
    layOutLines(layout, high);
    for (int i = 0; i < layout.lineCount(); ++i)
        widest = qMax(widest, layout.lineAt(i).naturalTextWidth());
    return qMin<qreal>(width, qMax<qreal>(high, std::ceil(widest)));
}

} // namespace LineBreaking
