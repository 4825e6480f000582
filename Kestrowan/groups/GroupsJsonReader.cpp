#include "Kestrowan/groups/GroupsJson.h"

#include "Platform/logging/SystemErrorText.h"
#include "Kestrowan/groups/ModelJson.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <simdjson.h>

#include <string_view>

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The fast reader decides a file only when it is certain the tree-based reader would decide it the
// same way: the file parses, holds no number anywhere (the tree reader refuses some numbers that
// simdjson takes, and the model has none) and decodes into groups. Everything else, faults included,
// is left to the tree reader, so that its verdict and its description of the fault stand.
struct Undecided {};

QString text(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

bool holdsNumber(element value)
{
    switch (value.type()) {
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE: return true;
    case element_type::ARRAY: {
        const simdjson::dom::array array = value.get_array().value_unsafe();
        for (element child : array) {
            if (holdsNumber(child))
                return true;
        }
        return false;
    }
    case element_type::OBJECT: {
        const simdjson::dom::object object = value.get_object().value_unsafe();
        for (auto field : object) {
            if (holdsNumber(field.value))
                return true;
        }
        return false;
    }
    default: return false;
    }
}

// The members of an object by key, the last of a repeated key winning, as in the tree reader. A
// member whose key is not one of `keys` is only checked for numbers.
template <size_t N>
std::array<std::optional<element>, N> members(element object, const std::array<std::string_view, N> &keys)
{
    std::array<std::optional<element>, N> found;
    const simdjson::dom::object fields = object.get_object().value_unsafe();
    for (auto field : fields) {
        bool known = false;
        for (size_t i = 0; i < N; ++i) {
            if (field.key == keys[i]) {
                found[i] = field.value;
                known = true;
                break;
            }
        }
        if (!known && holdsNumber(field.value))
            throw Undecided{};
    }
    return found;
}

QString requiredString(const std::optional<element> &value)
{
    if (!value || !value->is_string())
        throw Undecided{};
    return text(value->get_string().value_unsafe());
}

std::optional<QString> optionalString(const std::optional<element> &value)
{
    if (!value || value->is_null())
        return std::nullopt;
    return requiredString(value);
}

QUuid requiredUuid(const std::optional<element> &value)
{
    if (!value || !value->is_string())
        throw Undecided{};
    const std::optional<QUuid> uuid = ModelJson::uuidFromUtf8(value->get_string().value_unsafe());
    if (!uuid)
        throw Undecided{};
    return *uuid;
}

void requireObject(const std::optional<element> &value)
{
    if (!value || !value->is_object())
        throw Undecided{};
}

QMap<QString, QString> stringMap(const std::optional<element> &value)
{
    requireObject(value);
    QMap<QString, QString> map;
    const simdjson::dom::object fields = value->get_object().value_unsafe();
    for (auto field : fields) {
        // A repeated key: only the last counts, and it alone must hold a string. Such files are rare
        // enough to be left to the tree reader.
        const QString key = text(field.key);
        if (!field.value.is_string() || map.contains(key))
            throw Undecided{};
        map.insert(key, text(field.value.get_string().value_unsafe()));
    }
    return map;
}

AppItem item(element value)
{
    if (!value.is_object())
        throw Undecided{};
    static constexpr std::array<std::string_view, 4> keys{"id", "bundleIdentifier", "name", "path"};
    const auto m = members(value, keys);
    return AppItem{requiredUuid(m[0]), requiredString(m[1]), requiredString(m[2]), requiredString(m[3])};
}

OpenerRules openerRules(const std::optional<element> &value)
{
    requireObject(value);
    static constexpr std::array<std::string_view, 3> keys{"byExtension", "byItem", "defaultOpener"};
    const auto m = members(*value, keys);
    return OpenerRules{stringMap(m[0]), stringMap(m[1]), optionalString(m[2])};
}

AppGroup group(element value)
{
    if (!value.is_object())
        throw Undecided{};
    static constexpr std::array<std::string_view, 8> keys{"id", "name", "apps", "displayStyle", "iconStyle",
                                                          "skinId", "customOpenerPath", "openerRules"};
    const auto m = members(value, keys);
    AppGroup group;
    group.id = requiredUuid(m[0]);
    group.name = requiredString(m[1]);
    if (!m[2] || !m[2]->is_array())
        throw Undecided{};
    const simdjson::dom::array apps = m[2]->get_array().value_unsafe();
    group.apps.reserve(qsizetype(apps.size()));
    for (element entry : apps)
        group.apps.append(item(entry));
    const auto displayStyle = displayStyleFromRawValue(requiredString(m[3]));
    const auto iconStyle = iconStyleFromRawValue(requiredString(m[4]));
    if (!displayStyle || !iconStyle)
        throw Undecided{};
    group.displayStyle = *displayStyle;
    group.iconStyle = *iconStyle;
    group.skinId = optionalString(m[5]);
    group.customOpenerPath = optionalString(m[6]);
    if (m[7] && !m[7]->is_null())
        group.openerRules = openerRules(m[7]);
    return group;
}

std::optional<QList<AppGroup>> decodeFast(const QByteArray &bytes)
{
    simdjson::dom::parser parser;
    element root;
    if (parser.parse(bytes.constData(), size_t(bytes.size()), true).get(root) != simdjson::SUCCESS || !root.is_array())
        return std::nullopt;
    try {
        const simdjson::dom::array array = root.get_array().value_unsafe();
        QList<AppGroup> groups;
        groups.reserve(qsizetype(array.size()));
        for (element entry : array)
            groups.append(group(entry));
        return groups;
    } catch (const Undecided &) {
        return std::nullopt;
    }
}

} // namespace

namespace GroupsJson {

std::optional<QList<AppGroup>> decode(const QByteArray &bytes, QString *failure)
{
    if (std::optional<QList<AppGroup>> groups = decodeFast(bytes))
        return groups;
    return decodeThroughTree(bytes, failure);
}

std::optional<QList<AppGroup>> decodeThroughTree(const QByteArray &bytes, QString *failure)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    std::optional<QList<AppGroup>> groups;
    if (parseError.error != QJsonParseError::NoError) {
        if (failure)
            *failure = QStringLiteral("%1 at offset %2").arg(jsonErrorText(parseError)).arg(parseError.offset);
    } else if (!document.isArray() || !(groups = AppGroup::listFromJson(document.array()))) {
        if (failure)
            *failure = QStringLiteral("the file is not a list of groups");
    }
    return groups;
}

} // namespace GroupsJson
