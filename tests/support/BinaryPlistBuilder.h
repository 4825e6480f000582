#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Writes binary property lists object by object, so tests can make files that no property-list
// library would write: shared references, cycles, strings holding U+0000, dates and integers
// outside the usual ranges. Each call returns the new object's index for use as a reference.
class BinaryPlistBuilder {
public:
    int ascii(const QByteArray &text);
    int utf16(const QString &text);
    int integer(qint64 value);
    // The sixteen-byte form that holds unsigned values above 2^63 - 1.
    int bigUnsigned(quint64 value);
    int real(double value);
    // Seconds since 2001-01-01 00:00:00 UTC.
    int date(double seconds);
    int data(const QByteArray &bytes);
    int uid(quint64 value);
    int boolean(bool value);
    int array(const QList<int> &elements);
    int dict(const QList<QPair<int, int>> &keysAndValues);
    // A placeholder whose content is set later, for cycles.
    int reserve();
    void setArray(int index, const QList<int> &elements);

    QByteArray build(int top) const;

private:
    struct Object {
        QByteArray bytes; // marker, length and payload; references follow for containers
        QList<int> references;
    };
    int add(Object object);
    static QByteArray marker(uchar type, quint64 length);
    QList<Object> m_objects;
};
