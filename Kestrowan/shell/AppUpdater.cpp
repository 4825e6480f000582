#include "Kestrowan/shell/AppUpdater.h"

#include "Kestrowan/shell/BundleInformation.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/BoundedFile.h"
#include "Platform/PropertyList.h"

namespace {

std::optional<QString> trimmedString(const QVariantMap &info, const QString &key)
{
    const QVariant value = info.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString trimmed = value.toString().trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

} // namespace

AppUpdateConfiguration AppUpdateConfiguration::fromInfoDictionary(const QVariantMap &info)
{
    AppUpdateConfiguration configuration;
    configuration.marketingVersion = PropertyList::stringIn(info, QStringLiteral("CFBundleShortVersionString"), QStringLiteral("0.0.0"));
    configuration.buildNumber = PropertyList::stringIn(info, QStringLiteral("CFBundleVersion"), QStringLiteral("0"));
    configuration.feedURLString = trimmedString(info, QStringLiteral("SUFeedURL"));
    configuration.publicEDKey = trimmedString(info, QStringLiteral("SUPublicEDKey"));
    return configuration;
}

QVariantMap mainBundleInfoDictionary()
{
    return BundleInformation::main();
}

UpdaterController::UpdaterController(QString feedURL, QString publicEDKey, QObject *parent)
    : QObject(parent)
    , m_feedURL(std::move(feedURL))
    , m_publicEDKey(std::move(publicEDKey))
{
}

void UpdaterController::checkForUpdates()
{
    qCInfo(appLogger, "Checking for updates at %s", qUtf8Printable(m_feedURL));
    emit checkStarted();
}

AppUpdater::AppUpdater(const AppUpdateConfiguration &configuration, QObject *parent)
    : QObject(parent)
    , m_configuration(configuration)
{
    if (configuration.feedURLString && configuration.publicEDKey) {
        m_controller = std::make_unique<UpdaterController>(*configuration.feedURLString, *configuration.publicEDKey);
        m_controller->setAutomaticallyChecksForUpdates(true);
        m_controller->setUpdateCheckInterval(14400);
        m_controller->setAutomaticallyDownloadsUpdates(false);
    }
}

AppUpdater::~AppUpdater() = default;

void AppUpdater::checkForUpdates()
{
    if (m_controller)
        m_controller->checkForUpdates();
}
