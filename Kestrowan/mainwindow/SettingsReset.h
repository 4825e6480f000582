#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QObject>
#include <QUuid>

class GroupManager;

// Returning the program to its first-run state: every group's folder tile out of the Dock (one Dock
// restart per removed tile, one after the other), the groups and their mirror folders gone, six
// settings back to their defaults and the onboarding shown again.
//
// It works on the groups that existed when the user confirmed: a group made while it waits for the
// Dock stays. A group whose tile cannot be taken out of the Dock (the Dock's list cannot be written,
// or a restart failed) is kept with its mirror folder, so no tile is left pointing at nothing, and
// `finished` says how many were kept. One reset runs at a time.
class SettingsReset final : public QObject {
    Q_OBJECT
public:
    explicit SettingsReset(GroupManager *groupManager, QObject *parent = nullptr);

    bool isRunning() const { return m_running; }
    // Takes the groups as they are now and starts; does nothing while a reset runs.
    void start();

signals:
    void runningChanged(bool running);
    // `keptGroups`: groups left in place because their Dock tiles could not be removed.
    void finished(int keptGroups);

private:
    void detachNext();
    void finish();

    GroupManager *m_groupManager;
    bool m_running = false;
    QList<AppGroup> m_groups;
    qsizetype m_next = 0;
    QList<QUuid> m_kept;
};
