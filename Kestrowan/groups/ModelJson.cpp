#include "Kestrowan/groups/ModelJson.h"

#include <cmath>
#include <limits>

namespace ModelJson {
namespace {

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// QUuid alone would also take braces and other spellings that stored files never hold.
template <typename Char>
std::optional<QUuid> parseUuid(const Char *text, qsizetype size)
{
    if (size != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
        return std::nullopt;
    // Where the 32 digits stand in the text.
    static constexpr int digitAt[32] = {0,  1,  2,  3,  4,  5,  6,  7,  9,  10, 11, 12, 14, 15, 16, 17,
                                        19, 20, 21, 22, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35};
    uchar bytes[16];
    int invalid = 0;
    for (int i = 0; i < 16; ++i) {
        const int high = hexValue(char16_t(std::make_unsigned_t<Char>(text[digitAt[2 * i]])));
        const int low = hexValue(char16_t(std::make_unsigned_t<Char>(text[digitAt[2 * i + 1]])));
        invalid |= high | low;
        bytes[i] = uchar((high << 4) | (low & 0xf));
    }
    if (invalid < 0)
        return std::nullopt;
    return QUuid::fromRfc4122(QByteArrayView(bytes, 16));
}

} // namespace

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(const QString &text)
{
    return parseUuid(text.utf16(), text.size());
}

std::optional<QUuid> uuidFromUtf8(std::string_view text)
{
    return parseUuid(text.data(), qsizetype(text.size()));
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
