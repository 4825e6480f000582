#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

// A binary property list may hold strings (values and keys) with U+0000 in them, which libplist
// cannot carry: it keeps strings as C strings, so such a string would end at its first U+0000 (or
// trip an assertion). libplist is given stand-ins for them instead: for each such string an ASCII
// text of its own that no file holds (it carries a random part made for this reading), and the real
// text is put back on the way out, when values are read and when a written list is finished.
class PropertyListStandIns {
public:
    PropertyListStandIns();

    static bool needsStandIn(const QString &text) { return text.contains(QChar(0)); }

    // `binary` (a list the check has let through) with each string object holding U+0000 replaced by
    // its stand-in; the bytes themselves when there is none. nullopt when its frame cannot be read.
    std::optional<QByteArray> withStandIns(const QByteArray &binary);
    // A binary list written by libplist with every stand-in turned back into its real string.
    QByteArray withRealStrings(const QByteArray &binary) const;

    // The stand-in of `text` (made on first use).
    QByteArray standInFor(const QString &text);
    // The real text of a string libplist gives back: itself unless it is a stand-in.
    QString realText(const char *text) const;

private:
    QByteArray m_prefix;
    QHash<QByteArray, QString> m_real;
    QHash<QString, QByteArray> m_standIns;
};
