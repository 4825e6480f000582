#pragma once

#include <QString>
#include <QStringList>

// What is wrong with the way `text` came out as `lines` (empty when nothing): a line that ends
// inside a phrase the text marks as unbreakable, a placeholder left unfilled, or a last line of
// one or two characters under others.
QString lineBreakProblem(const QString &text, const QStringList &lines);
