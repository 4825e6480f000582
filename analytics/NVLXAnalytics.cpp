#include "analytics/NVLXAnalytics.h"

#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/Tallyline.h"
#include "analytics/HawklineClient.h"
#include "analytics/TallylineHost.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

const QString tallylineDisabledKey = QStringLiteral("nvlx_analytics_td_disabled");
const QString legacyDisabledKey = QStringLiteral("nvlx_analytics_disabled");
const QString hawklineDisabledKey = QStringLiteral("nvlx_analytics_ph_disabled");

// Process-wide state of the facade; main thread only.
bool configured = false;
// Owned by the application object, so it goes before the application does.
QPointer<HawklineClient> client;

bool switchedOn(const QString &key)
{
    return UserDefaults::standard().boolean(key, false);
}

// A switch turned while the program runs reaches the installed client at once.
void followTallylineSwitch()
{
    static QMetaObject::Connection following;
    if (following)
        return;
    UserDefaults &defaults = UserDefaults::standard();
    following = QObject::connect(&defaults, &UserDefaults::valueChanged, &defaults, [](const QString &key) {
        if (key != tallylineDisabledKey && key != legacyDisabledKey)
            return;
        if (SignalHub::isInitialized())
            SignalHub::shared()->configuration()->setAnalyticsDisabled(!NVLXAnalytics::isTallylineEnabled());
    });
}

} // namespace

void NVLXAnalytics::configure(const std::optional<QString> &tallylineAppID,
                              const std::optional<QString> &hawklineAPIKey, const QString &hawklineHost)
{
    if (tallylineAppID)
        configure(*tallylineAppID);
    if (hawklineAPIKey) {
        delete client.data();
        client = new HawklineClient(*hawklineAPIKey, hawklineHost, QCoreApplication::instance());
    }
}

void NVLXAnalytics::configureFromBuild(const BundleInformation::Analytics &analytics)
{
    if (!analytics.tallylineAppID && !analytics.hawklineAPIKey) {
        qCInfo(appLogger, "Analytics are not configured in this build; no usage signals or product analytics are sent");
        return;
    }
    if (!analytics.tallylineAppID)
        qCInfo(appLogger, "Usage signals are not configured in this build");
    if (!analytics.hawklineAPIKey)
        qCInfo(appLogger, "Product analytics are not configured in this build");
    if (analytics.tallylineBaseURL)
        SignalHubConfiguration::setDefaultAPIBaseURL(*analytics.tallylineBaseURL);
    configure(analytics.tallylineAppID, analytics.hawklineAPIKey, analytics.hawklineHost);
}

void NVLXAnalytics::configure(const QString &appID)
{
    connectTallylineToHost();
    auto configuration = std::make_shared<SignalHubConfiguration>(appID);
    // The client's own signals (session start, new install) and its cache file obey the switch too.
    configuration->setAnalyticsDisabled(!isTallylineEnabled());
    Tallyline::initialize(configuration);
    configured = true;
    followTallylineSwitch();
}

void NVLXAnalytics::signal(const QString &name, const QMap<QString, QString> &parameters)
{
    if (isTallylineEnabled() && configured)
        Tallyline::signal(name, parameters);
    if (switchedOn(hawklineDisabledKey))
        return;
    if (client)
        client->capture(name, parameters);
}

void NVLXAnalytics::identify(const QString &distinctId, const QMap<QString, QString> &properties)
{
    if (switchedOn(hawklineDisabledKey) || !client)
        return;
    client->identify(distinctId, properties);
}

void NVLXAnalytics::resetIdentity()
{
    if (client)
        UserDefaults::standard().setValue(HawklineClient::distinctIdKey(), HawklineClient::newDistinctId());
}

bool NVLXAnalytics::isTallylineEnabled()
{
    if (switchedOn(tallylineDisabledKey))
        return false;
    return !switchedOn(legacyDisabledKey);
}

bool NVLXAnalytics::isHawklineEnabled()
{
    return !switchedOn(hawklineDisabledKey);
}

bool NVLXAnalytics::isEnabled()
{
    return isTallylineEnabled() || isHawklineEnabled();
}

void NVLXAnalytics::setTallylineEnabled(bool enabled)
{
    UserDefaults::standard().setValue(tallylineDisabledKey, !enabled);
    UserDefaults::standard().remove(legacyDisabledKey);
}

void NVLXAnalytics::setHawklineEnabled(bool enabled)
{
    UserDefaults::standard().setValue(hawklineDisabledKey, !enabled);
}

void NVLXAnalytics::setEnabled(bool enabled)
{
    UserDefaults::standard().setValue(tallylineDisabledKey, !enabled);
    UserDefaults::standard().remove(legacyDisabledKey);
    UserDefaults::standard().setValue(hawklineDisabledKey, !enabled);
}
