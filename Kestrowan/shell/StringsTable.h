#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// A text table in the ".strings" format:  "key" = "value";  with /* */ and // comments, backslash
// escapes (\" \\ \n \t \r \0 octal, \uXXXX, \UXXXX) and unquoted keys or values made of letters,
// digits and "_.-$:/". Files are UTF-8 (with or without a byte-order mark) or UTF-16 with a
// byte-order mark. A syntax error skips to the end of that entry and parsing goes on, so a damaged
// table still yields every entry it can.
struct StringsTable {
    QHash<QString, QString> entries;
    int errorCount = 0;
    // Line and reason of the first error, for the log.
    QString firstError;

    static StringsTable parse(const QByteArray &bytes);
    // Reads and parses a file; logs one error-level line when the file has errors. A missing file
    // gives an empty table without a log line.
    static StringsTable load(const QString &path);
};
