#include "Kestrowan/app/KestrowanRoute.h"

#include "Kestrowan/groups/ModelJson.h"

QUrl routeURL(const KestrowanRoute &route)
{
    switch (route.kind) {
    case KestrowanRoute::Kind::Group:
        return QUrl(QStringLiteral("kestrowan://open/group/") + ModelJson::uuidText(route.groupID));
    case KestrowanRoute::Kind::Main:
        return QUrl(QStringLiteral("kestrowan://open/main"));
    case KestrowanRoute::Kind::Settings:
        break;
    }
    return QUrl(QStringLiteral("kestrowan://open/settings"));
}

std::optional<KestrowanRoute> parseRoute(const QUrl &url)
{
    if (!url.isValid() || url.scheme().toLower() != kestrowanURLScheme)
        return std::nullopt;
    if (url.host().toLower() != QStringLiteral("open"))
        return std::nullopt;
    const QStringList components = url.path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty())
        return std::nullopt;
    const QString first = components.first().toLower();
    if (first == QStringLiteral("main"))
        return KestrowanRoute::main();
    if (first == QStringLiteral("settings"))
        return KestrowanRoute::settings();
    if (first == QStringLiteral("group") && components.size() >= 2) {
        if (const auto id = ModelJson::uuidFromText(components.at(1)))
            return KestrowanRoute::group(*id);
    }
    return std::nullopt;
}
