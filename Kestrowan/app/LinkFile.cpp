#include "Kestrowan/app/LinkFile.h"

#include "Kestrowan/shell/Log.h"
#include "Platform/BoundedFile.h"
#include "Platform/FileURL.h"
#include "Platform/PropertyList.h"

#include <QFileInfo>

bool isLinkFileURL(const QUrl &url)
{
    return isLocalFileURL(url) && QFileInfo(localPathOfFileURL(url)).suffix() == linkFileExtension;
}

namespace {

std::nullopt_t refuse(const QString &path, const char *reason)
{
    qCWarning(appLogger, "Ignored link file %s: %s", qUtf8Printable(loggedText(QFileInfo(path).fileName())), reason);
    return std::nullopt;
}

} // namespace

std::optional<KestrowanRoute> readLinkFile(const QString &path)
{
    QString failure;
    const std::optional<QByteArray> bytes = readSmallFile(path, smallFileSizeLimit, &failure);
    if (!bytes)
        return refuse(path, "unreadable or larger than 1 MiB");
    const std::optional<QVariant> parsed = PropertyList::parse(*bytes);
    if (!parsed)
        return refuse(path, "not a property list");
    if (parsed->typeId() != QMetaType::QVariantMap)
        return refuse(path, "not a dictionary");
    const QVariantMap dictionary = parsed->toMap();
    for (auto entry = dictionary.cbegin(); entry != dictionary.cend(); ++entry) {
        if (entry.value().typeId() != QMetaType::QString)
            return refuse(path, "holds a value that is not a string");
    }
    const auto urlEntry = dictionary.constFind(QStringLiteral("URL"));
    if (urlEntry == dictionary.cend())
        return refuse(path, "has no URL");
    const QUrl url(urlEntry->toString(), QUrl::StrictMode);
    if (!url.isValid())
        return refuse(path, "its URL is not valid");
    const std::optional<KestrowanRoute> route = parseRoute(url);
    if (!route)
        return refuse(path, "its URL names no place in Kestrowan");
    return route;
}
