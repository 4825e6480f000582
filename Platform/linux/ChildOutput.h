#pragma once

#include <QByteArray>
#include <QString>

// What a child of the program says on its standard output and error belongs in the program's log,
// never raw on the terminal the program was started from: the program reads it and logs it as one
// group of lines under the child's name. A bounded amount is kept; the rest is only counted.
class ChildOutput {
public:
    static constexpr qsizetype keptBytes = 16 * 1024;

    void append(const QByteArray &bytes);
    bool isEmpty() const { return m_kept.isEmpty(); }

    // The lines said, each indented on a line of its own under "`name` said:", control characters
    // shown as '?', the part past the bound counted; empty when nothing was said.
    QString text(const QString &name) const;

    // Logs the text as one message; nothing when nothing was said.
    void log(const QString &name) const;

private:
    QByteArray m_kept;
    qint64 m_dropped = 0;
};
