#include "tests/support/LineChecks.h"

#include "Kestrowan/shell/LineBreaking.h"

#include <QSet>

QString lineBreakProblem(const QString &text, const QStringList &lines)
{
    const QString shown = lines.join(QStringLiteral(" / "));
    if (shown.contains(u'%'))
        return QStringLiteral("placeholder left: ") + shown;
    if (lines.size() < 2)
        return {};
    if (QString(lines.last()).remove(u' ').size() <= 2)
        return QStringLiteral("lone last line: ") + shown;
    if (!text.contains(LineBreaking::phraseMark))
        return {};
    // Where a line may end, counted in drawn characters other than spaces: at the marks only. A
    // space inside a phrase is no place to break ("Dock" at the end of a line, its particle on
    // the next).
    QSet<qsizetype> allowed;
    qsizetype drawn = 0;
    for (QChar c : text) {
        if (c == LineBreaking::phraseMark)
            allowed.insert(drawn);
        else if (c != LineBreaking::wordJoiner && c != u' ' && c != LineBreaking::noBreakSpace)
            ++drawn;
    }
    qsizetype end = 0;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        end += QString(lines[i]).remove(u' ').size();
        if (!allowed.contains(end))
            return QStringLiteral("broken inside a phrase: ") + shown;
    }
    return {};
}
