#include "Kestrowan/groups/ModelJson.h"

#include <cmath>
#include <limits>

namespace ModelJson {
namespace {

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(const QString &text)
{
    // QUuid alone would also take braces and other spellings that stored files never hold.
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool hyphenPosition = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPosition ? text.at(i) != u'-' : !isHexDigit(text.at(i)))
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

std::optional<QString> requiredString(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QUuid> requiredUuid(const QJsonObject &object, const QString &key)
{
    const std::optional<QString> text = requiredString(object, key);
    return text ? uuidFromText(*text) : std::nullopt;
}

std::optional<std::optional<QString>> optionalString(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::optional<QString>();
    if (!value.isString())
        return std::nullopt;
    return std::optional<QString>(value.toString());
}

std::optional<QMap<QString, QString>> requiredStringMap(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    if (!value.isObject())
        return std::nullopt;
    QMap<QString, QString> map;
    const QJsonObject members = value.toObject();
    for (auto it = members.constBegin(); it != members.constEnd(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        map.insert(it.key(), it.value().toString());
    }
    return map;
}

std::optional<quint64> requiredUnsigned(const QJsonObject &object, const QString &key, quint64 maximum)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    const qint64 integer = value.toInteger(-1);
    if (integer >= 0)
        return quint64(integer) <= maximum ? std::optional<quint64>(quint64(integer)) : std::nullopt;
    // Whole numbers beyond the signed range arrive as doubles.
    const double number = value.toDouble();
    constexpr double twoToThe64 = 18446744073709551616.0;
    if (!(number >= 0) || number != std::floor(number) || number >= twoToThe64)
        return std::nullopt;
    const quint64 whole = quint64(number);
    return whole <= maximum ? std::optional<quint64>(whole) : std::nullopt;
}

QJsonValue unsignedValue(quint64 value)
{
    if (value <= quint64(std::numeric_limits<qint64>::max()))
        return QJsonValue(qint64(value));
    return QJsonValue(double(value));
}

QJsonObject stringMapObject(const QMap<QString, QString> &map)
{
    QJsonObject object;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        object.insert(it.key(), it.value());
    return object;
}

} // namespace ModelJson
