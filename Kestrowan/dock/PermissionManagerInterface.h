#pragma once

#include <QObject>

#include <functional>
#include <memory>

// What the program needs of the Accessibility permission: the trust now, a change signal for the
// windows, and one handler the shell installs during its start-up.
class PermissionManagerInterface : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isAccessibilityGranted() const = 0;
    // Reads the trust again now (and reports a change).
    virtual void refreshAccessibilityStatus() = 0;
    // Asks the user to grant Accessibility access (the platform's prompt).
    virtual void requestAccessibility() = 0;

    // One handler; setting it replaces the previous one. Called on every change of the trust.
    std::function<void(bool granted)> onAccessibilityChanged;

signals:
    void accessibilityGrantedChanged(bool granted);
};

// The program's permission manager: reads the trust at once and keeps polling it.
std::unique_ptr<PermissionManagerInterface> makePermissionManager();
