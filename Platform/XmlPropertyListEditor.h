#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

// Changes keys at the top of an XML property list by editing its text: the entries the change does
// not touch keep their text as it stands, comments and odd spellings included, so a value that
// another program wrote loosely ("1e3" as an integer, a date that names no day) is not read into
// something else and written back changed.
class XmlPropertyListEditor {
public:
    // `stored` (an XML property list whose root is a dictionary) with each key of `changes` set to
    // its value, or removed where the value is invalid; new keys come last. nullopt, with the reason
    // in `failure`, when the text is not laid out as this can follow.
    static std::optional<QByteArray> withChanges(const QByteArray &stored, const QVariantMap &changes, QString *failure);
};
