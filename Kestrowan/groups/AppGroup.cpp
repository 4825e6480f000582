#include "Kestrowan/groups/AppGroup.h"

#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/shell/Localization.h"

namespace {

constexpr const char *displayStyleNames[] = {"fan", "grid", "list"};
constexpr const char *iconStyleNames[] = {"shelf", "glass", "gradient", "minimal", "pelko", "skin"};

// Raw values match exactly: a stored "Grid" is no display style.
template <typename Enum, size_t N>
std::optional<Enum> caseForRawValue(const char *const (&names)[N], const QString &raw)
{
    for (size_t i = 0; i < N; ++i) {
        if (raw == QLatin1String(names[i]))
            return static_cast<Enum>(i);
    }
    return std::nullopt;
}

template <typename Enum, size_t N>
QList<Enum> allCases(const char *const (&)[N])
{
    QList<Enum> cases;
    for (size_t i = 0; i < N; ++i)
        cases.append(static_cast<Enum>(i));
    return cases;
}

void insertIfPresent(QJsonObject &object, const QString &key, const std::optional<QString> &value)
{
    if (value)
        object.insert(key, *value);
}

} // namespace

QList<AppGroup::DisplayStyle> allDisplayStyles()
{
    return allCases<AppGroup::DisplayStyle>(displayStyleNames);
}

QList<AppGroup::IconStyle> allIconStyles()
{
    return allCases<AppGroup::IconStyle>(iconStyleNames);
}

QString displayStyleRawValue(AppGroup::DisplayStyle style)
{
    return QString::fromLatin1(displayStyleNames[static_cast<size_t>(style)]);
}

std::optional<AppGroup::DisplayStyle> displayStyleFromRawValue(const QString &raw)
{
    return caseForRawValue<AppGroup::DisplayStyle>(displayStyleNames, raw);
}

QString iconStyleRawValue(AppGroup::IconStyle style)
{
    return QString::fromLatin1(iconStyleNames[static_cast<size_t>(style)]);
}

std::optional<AppGroup::IconStyle> iconStyleFromRawValue(const QString &raw)
{
    return caseForRawValue<AppGroup::IconStyle>(iconStyleNames, raw);
}

QString iconStyleDisplayName(AppGroup::IconStyle style)
{
    return localized(QStringLiteral("group.icon.") + iconStyleRawValue(style));
}

QJsonObject AppGroup::toJson() const
{
    QJsonObject object{
        {QStringLiteral("id"), ModelJson::uuidText(id)},
        {QStringLiteral("name"), name},
        {QStringLiteral("apps"), AppItem::listToJson(apps)},
        {QStringLiteral("displayStyle"), displayStyleRawValue(displayStyle)},
        {QStringLiteral("iconStyle"), iconStyleRawValue(iconStyle)},
    };
    insertIfPresent(object, QStringLiteral("skinId"), skinId);
    insertIfPresent(object, QStringLiteral("customOpenerPath"), customOpenerPath);
    if (openerRules)
        object.insert(QStringLiteral("openerRules"), openerRules->toJson());
    return object;
}

std::optional<AppGroup> AppGroup::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto id = ModelJson::requiredUuid(object, QStringLiteral("id"));
    const auto name = ModelJson::requiredString(object, QStringLiteral("name"));
    const auto apps = AppItem::listFromJson(object.value(QStringLiteral("apps")));
    const auto displayText = ModelJson::requiredString(object, QStringLiteral("displayStyle"));
    const auto iconText = ModelJson::requiredString(object, QStringLiteral("iconStyle"));
    const auto skinId = ModelJson::optionalString(object, QStringLiteral("skinId"));
    const auto customOpenerPath = ModelJson::optionalString(object, QStringLiteral("customOpenerPath"));
    if (!id || !name || !apps || !displayText || !iconText || !skinId || !customOpenerPath)
        return std::nullopt;
    const auto displayStyle = displayStyleFromRawValue(*displayText);
    const auto iconStyle = iconStyleFromRawValue(*iconText);
    if (!displayStyle || !iconStyle)
        return std::nullopt;

    std::optional<OpenerRules> openerRules;
    const QJsonValue rulesValue = object.value(QStringLiteral("openerRules"));
    if (!rulesValue.isUndefined() && !rulesValue.isNull()) {
        openerRules = OpenerRules::fromJson(rulesValue);
        if (!openerRules)
            return std::nullopt;
    }
    return AppGroup{*id, *name, *apps, *displayStyle, *iconStyle, *skinId, *customOpenerPath, openerRules};
}

QJsonArray AppGroup::listToJson(const QList<AppGroup> &groups)
{
    return ModelJson::arrayOf(groups);
}

std::optional<QList<AppGroup>> AppGroup::listFromJson(const QJsonValue &value)
{
    return ModelJson::listOf<AppGroup>(value);
}
