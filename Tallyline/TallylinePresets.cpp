// The client's ready-made signals: fixed names and parameter keys over the internal send path, so
// no prefix and no reserved-name warning applies to them.
#include "Tallyline/Tallyline.h"

#include "Tallyline/DurationSignalTracker.h"
#include "Tallyline/IdentifiableError.h"
#include "Tallyline/NavigationStatus.h"
#include "Tallyline/PurchaseTransaction.h"
#include "Tallyline/SignalHub.h"
#include "Tallyline/SignalHubConfiguration.h"
#include "Tallyline/TrialConversionTracker.h"

namespace {

using Parameters = Tallyline::Parameters;

// The caller's parameters win over the preset's own.
void sendPreset(const QString &name, Parameters own, const Parameters &callers, std::optional<double> floatValue,
                const std::optional<QString> &customUserID)
{
    own.insert(callers);
    SignalHub::internalSignal(name, own, floatValue, customUserID);
}

void sendError(const QString &id, const std::optional<ErrorCategory> &category, const std::optional<QString> &message,
               const Parameters &parameters, std::optional<double> floatValue,
               const std::optional<QString> &customUserID)
{
    Parameters own{{QStringLiteral("Tallyline.Error.id"), id}};
    if (category)
        own.insert(QStringLiteral("Tallyline.Error.category"), errorCategoryRawValue(*category));
    if (message)
        own.insert(QStringLiteral("Tallyline.Error.message"), *message);
    sendPreset(QStringLiteral("Tallyline.Error.occurred"), own, parameters, floatValue, customUserID);
}

void sendNavigationSignal(const QString &source, const QString &destination, const std::optional<QString> &customUserID)
{
    // Remembered first: a signal the send path drops still moves the user.
    NavigationStatus::shared().previousNavigationPath = destination;
    SignalHub::internalSignal(QStringLiteral("Tallyline.Navigation.pathChanged"),
                              {{QStringLiteral("Tallyline.Navigation.schemaVersion"), QStringLiteral("1")},
                               {QStringLiteral("Tallyline.Navigation.identifier"), source + QStringLiteral(" -> ") + destination},
                               {QStringLiteral("Tallyline.Navigation.sourcePath"), source},
                               {QStringLiteral("Tallyline.Navigation.destinationPath"), destination}},
                              std::nullopt, customUserID);
}

} // namespace

void Tallyline::startDurationSignal(const QString &signalName, const Parameters &parameters, bool includeBackgroundTime)
{
    DurationSignalTracker::shared().startDurationTracking(signalName, parameters, includeBackgroundTime);
}

void Tallyline::cancelDurationSignal(const QString &signalName)
{
    DurationSignalTracker::shared().stopDurationTracking(signalName);
}

void Tallyline::stopAndSendDurationSignal(const QString &signalName, const Parameters &parameters,
                                          std::optional<double> floatValue, const std::optional<QString> &customUserID)
{
    const auto stopped = DurationSignalTracker::shared().stopDurationTracking(signalName);
    if (!stopped)
        return;
    SignalHub::internalSignal(signalName,
                              DurationSignalTracker::stopParameters(stopped->durationInSeconds, stopped->parameters, parameters),
                              floatValue, customUserID);
}

void Tallyline::acquiredUser(const QString &channel, const Parameters &parameters, const std::optional<QString> &customUserID)
{
    sendPreset(QStringLiteral("Tallyline.Acquisition.userAcquired"), {{QStringLiteral("Tallyline.Acquisition.channel"), channel}},
               parameters, std::nullopt, customUserID);
}

void Tallyline::leadStarted(const QString &leadID, const Parameters &parameters, const std::optional<QString> &customUserID)
{
    sendPreset(QStringLiteral("Tallyline.Acquisition.leadStarted"), {{QStringLiteral("Tallyline.Acquisition.leadID"), leadID}},
               parameters, std::nullopt, customUserID);
}

void Tallyline::leadConverted(const QString &leadID, const Parameters &parameters, const std::optional<QString> &customUserID)
{
    sendPreset(QStringLiteral("Tallyline.Acquisition.leadConverted"), {{QStringLiteral("Tallyline.Acquisition.leadID"), leadID}},
               parameters, std::nullopt, customUserID);
}

void Tallyline::onboardingCompleted(const Parameters &parameters, const std::optional<QString> &customUserID)
{
    sendPreset(QStringLiteral("Tallyline.Activation.onboardingCompleted"), {}, parameters, std::nullopt, customUserID);
}

void Tallyline::coreFeatureUsed(const QString &featureName, const Parameters &parameters,
                                const std::optional<QString> &customUserID)
{
    sendPreset(QStringLiteral("Tallyline.Activation.coreFeatureUsed"),
               {{QStringLiteral("Tallyline.Activation.featureName"), featureName}}, parameters, std::nullopt, customUserID);
}

void Tallyline::purchaseCompleted(const PurchaseTransaction &transaction, const Parameters &parameters,
                                  const std::optional<QString> &customUserID)
{
    const Parameters own = PurchaseTransaction::purchaseParameters(transaction);
    if (!PurchaseTransaction::startsFreeTrial(transaction)) {
        sendPreset(QStringLiteral("Tallyline.Purchase.completed"), own, parameters,
                   PurchaseTransaction::purchaseValueInUSD(transaction), customUserID);
        return;
    }
    sendPreset(QStringLiteral("Tallyline.Purchase.freeTrialStarted"), own, parameters, std::nullopt, customUserID);
    TrialConversionTracker &tracker = TrialConversionTracker::shared();
    tracker.storeTrial(TrialConversionTracker::StoredTrial{transaction.productID, transaction.originalID});
    tracker.startObservingTransactions();
}

void Tallyline::referralSent(int receiversCount, const std::optional<QString> &kind, const Parameters &parameters,
                             const std::optional<QString> &customUserID)
{
    Parameters own{{QStringLiteral("Tallyline.Referral.receiversCount"), QString::number(receiversCount)}};
    if (kind)
        own.insert(QStringLiteral("Tallyline.Referral.kind"), *kind);
    sendPreset(QStringLiteral("Tallyline.Referral.sent"), own, parameters, std::nullopt, customUserID);
}

void Tallyline::userRatingSubmitted(int rating, const std::optional<QString> &comment, const Parameters &parameters,
                                    const std::optional<QString> &customUserID)
{
    if (rating < 0 || rating > 10) {
        SignalHub::shared()->configuration()->log(LogHandler::LogLevel::error,
                                                  QStringLiteral("Rating must be between 0 and 10"));
        return;
    }
    Parameters own{{QStringLiteral("Tallyline.Referral.ratingValue"), QString::number(rating)}};
    if (comment)
        own.insert(QStringLiteral("Tallyline.Referral.ratingComment"), *comment);
    sendPreset(QStringLiteral("Tallyline.Referral.userRatingSubmitted"), own, parameters, std::nullopt, customUserID);
}

void Tallyline::paywallShown(const QString &reason, const Parameters &parameters, const std::optional<QString> &customUserID)
{
    sendPreset(QStringLiteral("Tallyline.Revenue.paywallShown"),
               {{QStringLiteral("Tallyline.Revenue.paywallShowReason"), reason}}, parameters, std::nullopt, customUserID);
}

void Tallyline::errorOccurred(const QString &id, std::optional<ErrorCategory> category, const std::optional<QString> &message,
                              const Parameters &parameters, std::optional<double> floatValue,
                              const std::optional<QString> &customUserID)
{
    sendError(id, category, message, parameters, floatValue, customUserID);
}

void Tallyline::errorOccurred(const IdentifiableError &identifiableError, ErrorCategory category,
                              const Parameters &parameters, std::optional<double> floatValue,
                              const std::optional<QString> &customUserID)
{
    sendError(identifiableError.id(), category, identifiableError.localizedDescription(), parameters, floatValue,
              customUserID);
}

void Tallyline::errorOccurred(const IdentifiableError &identifiableError, ErrorCategory category,
                              const std::optional<QString> &message, const Parameters &parameters,
                              std::optional<double> floatValue, const std::optional<QString> &customUserID)
{
    sendError(identifiableError.id(), category, message, parameters, floatValue, customUserID);
}

void Tallyline::navigationPathChanged(const QString &from, const QString &to, const std::optional<QString> &customUserID)
{
    sendNavigationSignal(from, to, customUserID);
}

void Tallyline::navigate(const QString &from, const QString &to, const std::optional<QString> &customUserID)
{
    sendNavigationSignal(from, to, customUserID);
}

void Tallyline::navigationPathChanged(const QString &to, const std::optional<QString> &customUserID)
{
    sendNavigationSignal(NavigationStatus::shared().previousNavigationPath.value_or(QString()), to, customUserID);
}

void Tallyline::navigate(const QString &to, const std::optional<QString> &customUserID)
{
    navigationPathChanged(to, customUserID);
}

void Tallyline::trackNavigation(QObject *view, const QString &path)
{
    if (!view)
        return;
    for (QObject *child : view->children()) {
        if (auto *modifier = dynamic_cast<TrackNavigationModifier *>(child)) {
            modifier->setPath(path);
            return;
        }
    }
    new TrackNavigationModifier(view, path);
}
