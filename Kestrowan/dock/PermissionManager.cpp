#include "Kestrowan/dock/PermissionManager.h"

#include "Platform/Accessibility.h"

PermissionManager::PermissionManager(QObject *parent)
    : PermissionManagerInterface(parent)
{
    refreshAccessibilityStatus();
    m_pollTimer.setInterval(pollIntervalMilliseconds);
    connect(&m_pollTimer, &QTimer::timeout, this, &PermissionManager::refreshAccessibilityStatus);
    m_pollTimer.start();
}

void PermissionManager::refreshAccessibilityStatus()
{
    const bool trusted = Accessibility::shared().isProcessTrusted();
    if (trusted == m_isAccessibilityGranted)
        return;
    m_isAccessibilityGranted = trusted;
    emit accessibilityGrantedChanged(trusted);
    if (onAccessibilityChanged)
        onAccessibilityChanged(trusted);
}

void PermissionManager::requestAccessibility()
{
    Accessibility::shared().isProcessTrustedWithPrompt();
    refreshAccessibilityStatus();
}

std::unique_ptr<PermissionManagerInterface> makePermissionManager()
{
    return std::make_unique<PermissionManager>();
}
