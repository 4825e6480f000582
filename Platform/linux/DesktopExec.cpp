#include "Platform/linux/DesktopExec.h"

namespace {

QStringList splitWords(const QString &exec, bool *ok)
{
    QStringList words;
    QString current;
    bool inQuotes = false;
    bool inWord = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size())
                current.append(exec.at(++i));
            else if (c == u'"')
                inQuotes = false;
            else
                current.append(c);
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words.append(current);
            current.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == u'"')
                inQuotes = true;
            else
                current.append(c);
        }
    }
    *ok = !inQuotes;
    if (inWord)
        words.append(current);
    return words;
}

QString targetText(const QUrl &url, bool asFile)
{
    return asFile && url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
}

} // namespace

QStringList desktopExecCommand(const QString &exec, const QList<QUrl> &targets)
{
    bool ok = false;
    const QStringList words = splitWords(exec, &ok);
    if (!ok)
        return {};
    QStringList command;
    for (const QString &word : words) {
        // A word that is only a list code becomes one argument per target.
        if (word == QLatin1String("%F") || word == QLatin1String("%U")) {
            for (const QUrl &url : targets)
                command.append(targetText(url, word == QLatin1String("%F")));
            continue;
        }
        if (word == QLatin1String("%f") || word == QLatin1String("%u")) {
            if (!targets.isEmpty())
                command.append(targetText(targets.first(), word == QLatin1String("%f")));
            continue;
        }
        if (word.size() == 2 && word.startsWith(u'%') && word != QLatin1String("%%"))
            continue;
        QString argument;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word.at(i) != u'%' || i + 1 == word.size()) {
                argument.append(word.at(i));
                continue;
            }
            const QChar code = word.at(++i);
            if (code == u'%')
                argument.append(u'%');
            else if ((code == u'f' || code == u'u') && !targets.isEmpty())
                argument.append(targetText(targets.first(), code == u'f'));
        }
        command.append(argument);
    }
    return command;
}
