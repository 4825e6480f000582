#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A 64-bit hash whose value depends only on what was fed to it: the same input gives the same value
// in every run, every process and on every machine. Qt's own qHash is seeded per process, so a value
// recorded by one run would never match in the next.
//
// Every value is fed with its own length or a marker in front, so that ("ab", "c") and ("a", "bc")
// hash differently.
class StableHasher {
public:
    void addByte(quint8 byte);
    void addInteger(quint64 value);
    void addString(const QString &text);
    // A presence marker, for optional values: followed by the value only when it is present.
    void addPresence(bool present) { addByte(present ? 1 : 0); }

    quint64 value() const;
    // The value as a signed decimal integer: "-", then the digits, no leading zeros.
    QString signedDecimal() const;

private:
    void addBytes(const char *data, qsizetype size);

    // FNV-1a offset basis.
    quint64 m_state = 0xcbf29ce484222325ULL;
};
