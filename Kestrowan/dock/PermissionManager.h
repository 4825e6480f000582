#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Whether the user has granted the program Accessibility access: checked at construction, every
// 2.0 s and whenever asked. Never shows the system's prompt itself.
class PermissionManager final : public QObject {
    Q_OBJECT
public:
    static constexpr int pollIntervalMilliseconds = 2000;

    explicit PermissionManager(QObject *parent = nullptr);

    bool isAccessibilityGranted() const { return m_isAccessibilityGranted; }
    // Called with the new value after it is stored, on every change and only then.
    std::function<void(bool)> onAccessibilityChanged;

    void refreshAccessibilityStatus();

signals:
    void accessibilityGrantedChanged(bool granted);

private:
    bool m_isAccessibilityGranted = false;
    QTimer m_pollTimer;
};
