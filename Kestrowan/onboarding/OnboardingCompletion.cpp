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
    qCInfo(appLogger, "Quitting while the first run's Dock sync runs; the first run counts as finished");
    markFirstRunDone();
}

bool OnboardingCompletion::start(Finish finish)
{
    if (m_running || !m_services.groupManager)
        return false;
    m_running = std::move(finish);
    GroupManager &store = *m_services.groupManager;
    // One observed change of the store per new group.
    for (const AppGroup &group : std::as_const(m_running->groups))
        store.setGroups(store.groups() + QList<AppGroup>{group});
    store.saveGroups();
    store.syncAllGroupsToDock(m_services.skinManager, [self = QPointer<OnboardingCompletion>(this)] {
        if (self)
            self->complete();
    });
    return true;
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
}
