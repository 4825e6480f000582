#pragma once

#include "Platform/WorkspaceNotifications.h"

// Workspace notifications that a test posts.
class FakeWorkspaceNotifications final : public WorkspaceNotifications {
    Q_OBJECT
public:
    void post(Kind kind) { emit applicationNotification(kind); }
};
