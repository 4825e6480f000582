#include "Kestrowan/onboarding/OnboardingCompletion.h"

#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"

#include <QPointer>

OnboardingCompletion::OnboardingCompletion(Services services, QObject *parent) : QObject(parent), m_services(services) {}

OnboardingCompletion::~OnboardingCompletion()
{
    if (!m_running)
        return;
    qCInfo(appLogger, "Quitting while the first run finishes; the first run counts as finished");
    UserDefaults &defaults = UserDefaults::standard();
    // The event loop is over, so what is written now is written at once, with a short wait for
    // another writer at most. Groups whose finish was not on disk yet follow it only once it is.
    if (!m_groupsStored) {
        defaults.synchronize();
        if (defaults.saveFailing())
            qCCritical(appLogger, "The first run's end could not be written; its groups are not stored");
        else
            storeGroups();
    }
    markFirstRunDone();
    defaults.synchronize();
}

void OnboardingCompletion::settleInterruptedFinish(UserDefaults &defaults)
{
    if (!defaults.boolean(AppSettings::firstRunFinishingKey, false))
        return;
    qCInfo(appLogger, "The first run was finishing when the program last ended; it counts as finished");
    defaults.setValue(AppSettings::didCompleteOnboardingKey, true);
    defaults.remove(AppSettings::firstRunFinishingKey);
}

bool OnboardingCompletion::start(Finish finish)
{
    if (m_running || !m_services.groupManager)
        return false;
    m_running = std::move(finish);
    m_groupsStored = false;
    // On disk before the groups are: whatever ends the program from here on (a quit, a kill, a
    // power cut), the next start finds the first run finished and does not add its groups again.
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setValue(AppSettings::firstRunFinishingKey, true);
    defaults.storeNow(this, [this](bool recorded) {
        // Settings that cannot be written now are kept and written later; the user's groups are
        // not held back for them.
        if (!recorded)
            qCCritical(appLogger, "The first run's end could not be written before its groups are stored");
        if (!m_running || m_groupsStored)
            return;
        storeGroups();
        m_services.groupManager->syncAllGroupsToDock(m_services.skinManager, [self = QPointer<OnboardingCompletion>(this)] {
            if (self)
                self->complete();
        });
    });
    return true;
}

void OnboardingCompletion::storeGroups()
{
    m_groupsStored = true;
    GroupManager &store = *m_services.groupManager;
    // One observed change of the store per new group.
    for (const AppGroup &group : std::as_const(m_running->groups))
        store.setGroups(store.groups() + QList<AppGroup>{group});
    store.saveGroups();
}

void OnboardingCompletion::complete()
{
    if (!m_running)
        return;
    const Finish finish = *std::exchange(m_running, std::nullopt);
    if (m_services.permissionManager && m_services.permissionManager->isAccessibilityGranted())
        UserDefaults::standard().setValue(AppSettings::interactionModeKey, QStringLiteral("hover"));
    if (finish.signal) {
        finish.signal(QStringLiteral("onboarding.completed"), {{QStringLiteral("groups_created"), QString::number(finish.groupsCreated)},
                                                               {QStringLiteral("total_apps"), QString::number(finish.totalApps)}});
    }
    qCInfo(appLogger, "First run finished");
    emit completed();
    // No window took it back (it was closed meanwhile): the first run is over all the same.
    markFirstRunDone();
}

void OnboardingCompletion::markFirstRunDone()
{
    UserDefaults &defaults = UserDefaults::standard();
    if (!AppSettings::didCompleteOnboarding(defaults))
        defaults.setValue(AppSettings::didCompleteOnboardingKey, true);
    defaults.remove(AppSettings::firstRunFinishingKey);
}
