#pragma once

#include <QWidget>

class FilledButton;
class PermissionManagerInterface;

// The fourth step: what Accessibility access brings, and one button that asks for it; once the
// program is trusted, a confirmation instead.
class PermissionStep final : public QWidget {
    Q_OBJECT
public:
    explicit PermissionStep(PermissionManagerInterface *permissions, QWidget *parent = nullptr);
    // Nullptr in the granted display.
    FilledButton *authorizeButton() const { return m_authorize; }

private:
    void requestAccessibilityAccess();
    PermissionManagerInterface *m_permissions;
    FilledButton *m_authorize = nullptr;
};
