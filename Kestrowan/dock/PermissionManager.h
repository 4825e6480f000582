#pragma once

#include "Kestrowan/dock/PermissionManagerInterface.h"

#include <QTimer>

// Whether the user has granted the program Accessibility access: checked at construction, every
// 2.0 s and whenever asked. Never shows the system's prompt itself.
class PermissionManager final : public PermissionManagerInterface {
    Q_OBJECT
public:
    static constexpr int pollIntervalMilliseconds = 2000;

    explicit PermissionManager(QObject *parent = nullptr);

    bool isAccessibilityGranted() const override { return m_isAccessibilityGranted; }
    // `onAccessibilityChanged` is called with the new value after it is stored, on every change
    // and only then.
    void refreshAccessibilityStatus() override;
    // Shows the platform's prompt, then reads the trust at once (a later grant comes with the poll).
    void requestAccessibility() override;

private:
    bool m_isAccessibilityGranted = false;
    QTimer m_pollTimer;
};
