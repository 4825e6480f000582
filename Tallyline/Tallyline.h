#pragma once

#include "Tallyline/ErrorCategory.h"

#include <QMap>
#include <QString>

#include <memory>
#include <optional>

class IdentifiableError;
class QObject;
class SignalHubConfiguration;
struct PurchaseTransaction;

// The usage-signal client's public entry points.
class Tallyline
{
public:
    Tallyline() = delete;

    static void initialize(std::shared_ptr<SignalHubConfiguration> config);
    static void terminate();
    static void signal(const QString &signalName, const QMap<QString, QString> &parameters = {},
                       std::optional<double> floatValue = std::nullopt,
                       const std::optional<QString> &customUserID = std::nullopt);
    static void requestImmediateSync();
    static void generateNewSession();
    static void updateDefaultUserID(const std::optional<QString> &user);

    using Parameters = QMap<QString, QString>;

    // Duration signals: stopping sends the time since the start as "Tallyline.Signal.durationInSeconds";
    // time in which the application is not active is left out unless the start asks for it.
    static void startDurationSignal(const QString &signalName, const Parameters &parameters = {},
                                    bool includeBackgroundTime = false);
    static void cancelDurationSignal(const QString &signalName);
    static void stopAndSendDurationSignal(const QString &signalName, const Parameters &parameters = {},
                                          std::optional<double> floatValue = std::nullopt,
                                          const std::optional<QString> &customUserID = std::nullopt);

    // Ready-made signals. Each sends its fixed name with its own parameters; the caller's parameters
    // are laid over them.
    static void acquiredUser(const QString &channel, const Parameters &parameters = {},
                             const std::optional<QString> &customUserID = std::nullopt);
    static void leadStarted(const QString &leadID, const Parameters &parameters = {},
                            const std::optional<QString> &customUserID = std::nullopt);
    static void leadConverted(const QString &leadID, const Parameters &parameters = {},
                              const std::optional<QString> &customUserID = std::nullopt);
    static void onboardingCompleted(const Parameters &parameters = {},
                                    const std::optional<QString> &customUserID = std::nullopt);
    static void coreFeatureUsed(const QString &featureName, const Parameters &parameters = {},
                                const std::optional<QString> &customUserID = std::nullopt);
    // A free trial of a subscription is reported as started and then watched until it converts.
    static void purchaseCompleted(const PurchaseTransaction &transaction, const Parameters &parameters = {},
                                  const std::optional<QString> &customUserID = std::nullopt);
    static void referralSent(int receiversCount = 1, const std::optional<QString> &kind = std::nullopt,
                             const Parameters &parameters = {}, const std::optional<QString> &customUserID = std::nullopt);
    // A rating outside 0...10 is refused with a logged error.
    static void userRatingSubmitted(int rating, const std::optional<QString> &comment = std::nullopt,
                                    const Parameters &parameters = {},
                                    const std::optional<QString> &customUserID = std::nullopt);
    static void paywallShown(const QString &reason, const Parameters &parameters = {},
                             const std::optional<QString> &customUserID = std::nullopt);

    // Errors, under "Tallyline.Error.occurred".
    static void errorOccurred(const QString &id, std::optional<ErrorCategory> category = std::nullopt,
                              const std::optional<QString> &message = std::nullopt, const Parameters &parameters = {},
                              std::optional<double> floatValue = std::nullopt,
                              const std::optional<QString> &customUserID = std::nullopt);
    // Carries the error's own description as the message.
    static void errorOccurred(const IdentifiableError &identifiableError, ErrorCategory category,
                              const Parameters &parameters = {}, std::optional<double> floatValue = std::nullopt,
                              const std::optional<QString> &customUserID = std::nullopt);
    // Carries `message` only, never the error's own description.
    static void errorOccurred(const IdentifiableError &identifiableError, ErrorCategory category,
                              const std::optional<QString> &message, const Parameters &parameters = {},
                              std::optional<double> floatValue = std::nullopt,
                              const std::optional<QString> &customUserID = std::nullopt);

    // Navigation between the application's screens, as free-form paths. The one-path forms start
    // from where the last navigation of this process went. Main thread only.
    static void navigationPathChanged(const QString &from, const QString &to,
                                      const std::optional<QString> &customUserID = std::nullopt);
    static void navigate(const QString &from, const QString &to,
                         const std::optional<QString> &customUserID = std::nullopt);
    static void navigationPathChanged(const QString &to, const std::optional<QString> &customUserID = std::nullopt);
    static void navigate(const QString &to, const std::optional<QString> &customUserID = std::nullopt);
    // Reports a navigation to `path` each time `view` comes into view; a second call changes the path.
    static void trackNavigation(QObject *view, const QString &path);
};
