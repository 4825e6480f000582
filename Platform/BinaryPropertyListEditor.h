#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

// Changes keys at the top of a binary property list without reading the rest into values: every
// object the change does not replace is copied as it stands in the file, so values this program
// cannot hold exactly (sixteen-byte integers, dates beyond any calendar or finer than a microsecond)
// stay what they were, and an object named from many places is still stored once.
class BinaryPropertyListEditor {
public:
    // `stored` (a binary property list whose top object is a dictionary) with each key of `changes`
    // set to its value, or removed where the value is invalid; new keys come last. nullopt, with the
    // reason in `failure`, when the file is not one this can follow.
    static std::optional<QByteArray> withChanges(const QByteArray &stored, const QVariantMap &changes, QString *failure);
};
