#include "Kestrowan/mainwindow/SettingsReset.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"

#include <QPointer>

SettingsReset::SettingsReset(GroupManager *groupManager, QObject *parent)
    : QObject(parent)
    , m_groupManager(groupManager)
{
}

void SettingsReset::start()
{
    if (m_running)
        return;
    m_running = true;
    m_groups = m_groupManager->groups();
    m_next = 0;
    m_kept.clear();
    emit runningChanged(true);
    detachNext();
}

void SettingsReset::detachNext()
{
    while (m_next < m_groups.size()) {
        const AppGroup group = m_groups.at(m_next++);
        const std::optional<QUrl> folder = m_groupManager->findMirrorFolder(group);
        if (!folder)
            continue;
        const QPointer<SettingsReset> self(this);
        // One group at a time: the next is looked at only once this one's Dock restart is over.
        DockService::removeFolderTile(*folder, [self, group, folder = *folder](bool removed) {
            if (!self)
                return;
            if (!removed && DockService::isFolderInDock(folder)) {
                qCWarning(appLogger, "Reset keeps group %s: its Dock tile could not be removed",
                          qUtf8Printable(group.id.toString(QUuid::WithoutBraces)));
                self->m_kept.append(group.id);
            }
            self->detachNext();
        });
        return;
    }
    finish();
}

void SettingsReset::finish()
{
    QList<AppGroup> remaining;
    QList<AppGroup> removed;
    for (const AppGroup &group : m_groupManager->groups()) {
        const bool wasThere = std::any_of(m_groups.cbegin(), m_groups.cend(),
                                          [&group](const AppGroup &old) { return old.id == group.id; });
        if (wasThere && !m_kept.contains(group.id))
            removed.append(group);
        else
            remaining.append(group);
    }
    m_groupManager->setGroups(remaining);
    m_groupManager->saveGroups();
    // Each removed group's folder goes knowing its group, which tells what an earlier version
    // wrote in it; kept groups keep their folders.
    for (const AppGroup &group : std::as_const(removed))
        m_groupManager->removeMirrorFolder(group);
    if (m_kept.isEmpty())
        m_groupManager->removeOrphanedGroupFolders();

    UserDefaults &defaults = UserDefaults::standard();
    defaults.setValue(AppSettings::interactionModeKey, QStringLiteral("click"));
    defaults.setValue(AppSettings::clickModeBehaviorKey, QStringLiteral("enhanced"));
    defaults.setValue(AppSettings::appearanceModeKey, QStringLiteral("system"));
    defaults.setValue(AppSettings::autoSyncEnabledKey, false);
    defaults.setValue(AppSettings::autoRefreshDockLabelKey, true);
    defaults.setValue(AppSettings::didCompleteOnboardingKey, false);

    const int kept = int(m_kept.size());
    m_groups.clear();
    m_kept.clear();
    m_running = false;
    emit runningChanged(false);
    emit finished(kept);
}
