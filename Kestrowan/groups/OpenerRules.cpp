#include "Kestrowan/groups/OpenerRules.h"

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/PathComponents.h"
#include "Platform/DisplayNames.h"
#include "Platform/TypeIdentifiers.h"
#include "Platform/Workspace.h"

#include <QSet>

QJsonObject OpenerRules::toJson() const
{
    QJsonObject object{
        {QStringLiteral("byExtension"), ModelJson::stringMapObject(byExtension)},
        {QStringLiteral("byItem"), ModelJson::stringMapObject(byItem)},
    };
    if (defaultOpener)
        object.insert(QStringLiteral("defaultOpener"), *defaultOpener);
    return object;
}

std::optional<OpenerRules> OpenerRules::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto byExtension = ModelJson::requiredStringMap(object, QStringLiteral("byExtension"));
    const auto byItem = ModelJson::requiredStringMap(object, QStringLiteral("byItem"));
    const auto defaultOpener = ModelJson::optionalString(object, QStringLiteral("defaultOpener"));
    if (!byExtension || !byItem || !defaultOpener)
        return std::nullopt;
    return OpenerRules{*byExtension, *byItem, *defaultOpener};
}

size_t qHash(const OpenerRules &rules, size_t seed) noexcept
{
    size_t hash = seed;
    for (const QMap<QString, QString> *map : {&rules.byExtension, &rules.byItem}) {
        hash = qHash(map->size(), hash);
        for (auto it = map->constBegin(); it != map->constEnd(); ++it)
            hash = qHashMulti(hash, it.key(), it.value());
    }
    hash = qHash(rules.defaultOpener.has_value(), hash);
    if (rules.defaultOpener)
        hash = qHash(*rules.defaultOpener, hash);
    return hash;
}

std::optional<QUrl> openerURL(const AppItem &item, const QMap<QString, QString> &byExtension,
                              const QMap<QString, QString> &byItem, const std::optional<QString> &defaultOpener)
{
    const QString itemRule = byItem.value(ModelJson::uuidText(item.id));
    if (!itemRule.isEmpty())
        return QUrl::fromLocalFile(itemRule);
    // The kind plays no part: a web address ending in ".pdf" follows the "pdf" rule too.
    const QString extension = pathExtension(item.path).toLower();
    if (!extension.isEmpty()) {
        const QString extensionRule = byExtension.value(extension);
        if (!extensionRule.isEmpty())
            return QUrl::fromLocalFile(extensionRule);
    }
    if (defaultOpener && !defaultOpener->isEmpty())
        return QUrl::fromLocalFile(*defaultOpener);
    return std::nullopt;
}

std::optional<QUrl> AppGroup::resolveOpenerURL(const AppItem &item) const
{
    // Rules that say anything at all decide alone, even when they name nothing for this item.
    if (openerRules && !openerRules->isEmpty())
        return openerURL(item, openerRules->byExtension, openerRules->byItem, openerRules->defaultOpener);
    // Told by the path alone: the popup asks for every item as it shows.
    if (item.isApplication())
        return std::nullopt;
    if (customOpenerPath && !customOpenerPath->isEmpty())
        return QUrl::fromLocalFile(*customOpenerPath);
    return std::nullopt;
}

QString openerProbePath(const QString &extension)
{
    return QStringLiteral("/tmp/kestrowan_probe.") + extension;
}

std::optional<DefaultApplication> defaultApplicationForExtension(const QString &extension)
{
    if (extension.isEmpty())
        return std::nullopt;
    const Workspace &workspace = Workspace::shared();
    std::optional<QString> application;
    if (const std::optional<QString> type = TypeIdentifiers::shared().typeForFilenameExtension(extension))
        application = workspace.applicationForContentType(*type);
    if (!application)
        application = workspace.applicationToOpenURL(QUrl::fromLocalFile(openerProbePath(extension)));
    if (!application)
        return std::nullopt;
    return DefaultApplication{DisplayNames::shared().displayNameAtPath(*application), *application};
}

QStringList fileExtensionsOfGroup(const AppGroup &group)
{
    QSet<QString> extensions;
    for (const AppItem &item : group.apps) {
        const AppItem::Kind kind = item.itemKind();
        if (kind == AppItem::Kind::App || kind == AppItem::Kind::Link)
            continue;
        const QString extension = pathExtension(item.path).toLower();
        if (!extension.isEmpty())
            extensions.insert(extension);
    }
    QStringList sorted(extensions.cbegin(), extensions.cend());
    sorted.sort(Qt::CaseSensitive);
    return sorted;
}
