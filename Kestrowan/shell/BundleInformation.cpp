#include "Kestrowan/shell/BundleInformation.h"

#include "Platform/BoundedFile.h"
#include "Platform/PropertyList.h"

namespace {

// Compiled in by the build, whatever folder the packaged resources are read from.
const QString informationPath = QStringLiteral(":/Kestrowan_Kestrowan.bundle/Info.plist");

std::optional<QString> stringIn(const QVariantMap &information, const QString &key)
{
    const QVariant value = information.value(key);
    if (value.typeId() != QMetaType::QString || value.toString().trimmed().isEmpty())
        return std::nullopt;
    return value.toString().trimmed();
}

} // namespace

const QVariantMap &BundleInformation::main()
{
    static const QVariantMap information = [] {
        const std::optional<QByteArray> bytes = readSmallFile(informationPath);
        const std::optional<QVariant> root = bytes ? PropertyList::parse(*bytes) : std::nullopt;
        return root && root->typeId() == QMetaType::QVariantMap ? root->toMap() : QVariantMap();
    }();
    return information;
}

std::optional<QString> BundleInformation::string(const QString &key)
{
    return stringIn(main(), key);
}

BundleInformation::Analytics BundleInformation::analytics(const QVariantMap &information)
{
    Analytics analytics;
    analytics.tallylineAppID = stringIn(information, QStringLiteral("KestrowanTallylineAppID"));
    if (const std::optional<QString> base = stringIn(information, QStringLiteral("KestrowanTallylineBaseURL"))) {
        const QUrl url(*base, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty() && !url.host().isEmpty())
            analytics.tallylineBaseURL = url;
    }
    const std::optional<QString> host = stringIn(information, QStringLiteral("KestrowanHawklineHost"));
    analytics.hawklineAPIKey = host ? stringIn(information, QStringLiteral("KestrowanHawklineAPIKey")) : std::nullopt;
    analytics.hawklineHost = host.value_or(QString());
    return analytics;
}
