#pragma once

#include "Kestrowan/shell/BundleInformation.h"

#include <QMap>
#include <QString>

#include <optional>

// The one door through which the program reports what the user does. Every event fans out to the
// usage-signal client (batched, sent later) and to the product-analytics client (posted at once);
// each back end has its own off switch in the standard user defaults, read afresh on every event.
// Nothing here ever blocks on the network or reports a failure to the caller.
class NVLXAnalytics
{
public:
    NVLXAnalytics() = delete;

    // Sets up each back end for which a value is given; a second call replaces both.
    static void configure(const std::optional<QString> &tallylineAppID,
                          const std::optional<QString> &hawklineAPIKey,
                          const QString &hawklineHost);
    // Sets up the usage-signal back end only.
    static void configure(const QString &appID);
    // The start-up call: configures what the build put into the bundle information. A build
    // without identifiers sets up neither back end and says so once, so nothing is ever queued for
    // a service that does not exist.
    static void configureFromBuild(const BundleInformation::Analytics &analytics = BundleInformation::analytics());

    static void signal(const QString &name, const QMap<QString, QString> &parameters = {});
    static void identify(const QString &distinctId, const QMap<QString, QString> &properties = {});
    static void resetIdentity();

    static bool isTallylineEnabled();
    static bool isHawklineEnabled();
    static bool isEnabled();
    static void setTallylineEnabled(bool enabled);
    static void setHawklineEnabled(bool enabled);
    static void setEnabled(bool enabled);
};
