#include "Tallyline/Tallyline.h"

#include "Tallyline/SignalHub.h"
#include "Tallyline/TrialConversionTracker.h"

void Tallyline::initialize(std::shared_ptr<SignalHubConfiguration> config)
{
    SignalHub::initialize(std::move(config));
    // A trial reported in an earlier run is still watched: its conversion usually comes days later.
    TrialConversionTracker::resumeRememberedTrial();
}

void Tallyline::terminate()
{
    SignalHub::terminate();
}

void Tallyline::signal(const QString &signalName, const QMap<QString, QString> &parameters,
                       std::optional<double> floatValue, const std::optional<QString> &customUserID)
{
    SignalHub::checkedSignal(signalName, parameters, floatValue, customUserID);
}

void Tallyline::requestImmediateSync()
{
    SignalHub::requestImmediateSync();
}

void Tallyline::generateNewSession()
{
    SignalHub::generateNewSession();
}

void Tallyline::updateDefaultUserID(const std::optional<QString> &user)
{
    SignalHub::updateDefaultUser(user);
}
