#include "Kestrowan/groups/AppItem.h"

#include "Kestrowan/groups/ModelJson.h"
#include "Platform/ApplicationBundles.h"
#include "Platform/TypeIdentifiers.h"
#include "Platform/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>

QUrl AppItem::itemURL() const
{
    // A web link keeps its address; anything that does not read as a URL with a scheme is a path.
    const QUrl parsed(path, QUrl::TolerantMode);
    if (parsed.isValid() && !parsed.scheme().isEmpty() && !path.startsWith(u'/'))
        return parsed;
    // A file URL of nothing would be no file URL at all; an empty path names the current folder,
    // as relative paths do.
    return QUrl::fromLocalFile(path.isEmpty() ? QDir::currentPath() : path);
}

bool AppItem::isApplication() const
{
    // By suffix alone, so an application that was removed still counts as one.
    return ApplicationBundles::isApplicationPath(path) && itemURL().isLocalFile();
}

AppItem::Kind AppItem::itemKind() const
{
    if (!itemURL().isLocalFile())
        return Kind::Link;
    if (ApplicationBundles::isApplicationPath(path))
        return Kind::App;
    if (QFileInfo(path).isDir())
        return Kind::Folder;
    return Kind::File;
}

QIcon AppItem::itemIcon() const
{
    if (itemURL().isLocalFile())
        return Workspace::shared().iconForFile(path);
    return Workspace::shared().iconForContentType(TypeIdentifiers::genericURLType);
}

QJsonObject AppItem::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), ModelJson::uuidText(id)},
        {QStringLiteral("bundleIdentifier"), bundleIdentifier},
        {QStringLiteral("name"), name},
        {QStringLiteral("path"), path},
    };
}

std::optional<AppItem> AppItem::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto id = ModelJson::requiredUuid(object, QStringLiteral("id"));
    const auto bundleIdentifier = ModelJson::requiredString(object, QStringLiteral("bundleIdentifier"));
    const auto name = ModelJson::requiredString(object, QStringLiteral("name"));
    const auto path = ModelJson::requiredString(object, QStringLiteral("path"));
    if (!id || !bundleIdentifier || !name || !path)
        return std::nullopt;
    return AppItem{*id, *bundleIdentifier, *name, *path};
}

QJsonArray AppItem::listToJson(const QList<AppItem> &items)
{
    return ModelJson::arrayOf(items);
}

std::optional<QList<AppItem>> AppItem::listFromJson(const QJsonValue &value)
{
    return ModelJson::listOf<AppItem>(value);
}

size_t qHash(const AppItem &item, size_t seed) noexcept
{
    return qHashMulti(seed, item.id, item.bundleIdentifier, item.name, item.path);
}

QString kindRawValue(AppItem::Kind kind)
{
    switch (kind) {
    case AppItem::Kind::App:
        return QStringLiteral("app");
    case AppItem::Kind::Folder:
        return QStringLiteral("folder");
    case AppItem::Kind::File:
        return QStringLiteral("file");
    case AppItem::Kind::Link:
        return QStringLiteral("link");
    }
    return {};
}
