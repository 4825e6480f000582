#include "Kestrowan/shell/LineBreaking.h"

#include <QTextLayout>
#include <cmath>

namespace LineBreaking {

namespace {

bool opensBreak(QChar c)
{
    return c == phraseMark || c == wordJoiner || c.isSpace();
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

QString joinPhrases(const QString &text)
{
    if (!text.contains(phraseMark))
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
