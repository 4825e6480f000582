#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <QUuid>
#include <optional>
#include <string_view>

// Strict reading and writing of the model's JSON fields, shared by the model types. Every reader
// gives nullopt for a value of the wrong JSON type, so that one bad field fails the whole value.
namespace ModelJson {

// The standard 36-character hyphenated form in upper-case hexadecimal.
QString uuidText(const QUuid &uuid);
// Accepts exactly the 36-character hyphenated form, hexadecimal in either letter case (no braces).
std::optional<QUuid> uuidFromText(const QString &text);
std::optional<QUuid> uuidFromUtf8(std::string_view text);

std::optional<QString> requiredString(const QJsonObject &object, const QString &key);
std::optional<QUuid> requiredUuid(const QJsonObject &object, const QString &key);
// A missing key and null both read as absent (an engaged outer optional holding nullopt); any other
// non-string value is a failure (an empty outer optional).
std::optional<std::optional<QString>> optionalString(const QJsonObject &object, const QString &key);
// An object whose members all hold strings.
std::optional<QMap<QString, QString>> requiredStringMap(const QJsonObject &object, const QString &key);
// A JSON number holding a whole value in [0, maximum]; booleans and fractions are refused.
std::optional<quint64> requiredUnsigned(const QJsonObject &object, const QString &key, quint64 maximum);

QJsonValue unsignedValue(quint64 value);
QJsonObject stringMapObject(const QMap<QString, QString> &map);

// Arrays of a model type T (with toJson and a static fromJson): one element that fails to decode fails
// the whole array.
template <typename T>
QJsonArray arrayOf(const QList<T> &values)
{
    QJsonArray array;
    for (const T &value : values)
        array.append(value.toJson());
    return array;
}

template <typename T>
std::optional<QList<T>> listOf(const QJsonValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QJsonArray array = value.toArray();
    QList<T> list;
    list.reserve(array.size());
    for (const QJsonValue &element : array) {
        std::optional<T> decoded = T::fromJson(element);
        if (!decoded)
            return std::nullopt;
        list.append(std::move(*decoded));
    }
    return list;
}

} // namespace ModelJson
