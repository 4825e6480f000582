#pragma once

#include "Platform/WorkspaceNotifications.h"

#include <QAbstractNativeEventFilter>

// On X11 the window manager's root-window lists stand for the workspace: a change of the client
// list is an application launched or ended, a change of the active window an activation, a change
// of a window's state a hide or unhide. Only where the program runs on an X display; elsewhere
// nothing is ever posted.
class X11WorkspaceNotifications final : public WorkspaceNotifications, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    X11WorkspaceNotifications();
    ~X11WorkspaceNotifications() override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    quint32 m_clientList = 0;
    quint32 m_activeWindow = 0;
    quint32 m_windowState = 0;
    quint32 m_root = 0;
    int m_clientCount = -1;
};
