#pragma once

#include <QObject>

#include <memory>

// The workspace's notifications about applications: one launched, ended, was hidden or shown
// again, or became the active one. They say only that something changed; the running applications
// themselves are read from RunningApplications.
class WorkspaceNotifications : public QObject {
    Q_OBJECT
public:
    enum class Kind { DidLaunchApplication, DidTerminateApplication, DidHideApplication, DidUnhideApplication, DidActivateApplication };
    Q_ENUM(Kind)

    ~WorkspaceNotifications() override = default;

    static WorkspaceNotifications &shared();
    // Replaces the process-wide source; nullptr goes back to this machine's.
    static void install(std::unique_ptr<WorkspaceNotifications> notifications);

signals:
    void applicationNotification(WorkspaceNotifications::Kind kind);

protected:
    using QObject::QObject;
};
