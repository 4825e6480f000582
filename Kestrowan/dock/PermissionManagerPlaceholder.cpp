// Stands in until the Dock-watching services land: the trust read through the Accessibility port,
// polled every 2 s.
#include "Kestrowan/dock/PermissionManagerInterface.h"

#include "Platform/Accessibility.h"

#include <QTimer>

namespace {

class PolledPermissionManager final : public PermissionManagerInterface {
public:
    PolledPermissionManager()
        : m_granted(Accessibility::shared().isProcessTrusted())
    {
        m_poll.setInterval(2000);
        QObject::connect(&m_poll, &QTimer::timeout, this, [this] { refreshAccessibilityStatus(); });
        m_poll.start();
    }

    bool isAccessibilityGranted() const override { return m_granted; }

    void refreshAccessibilityStatus() override
    {
        const bool granted = Accessibility::shared().isProcessTrusted();
        if (granted == m_granted)
            return;
        m_granted = granted;
        emit accessibilityGrantedChanged(granted);
        if (onAccessibilityChanged)
            onAccessibilityChanged(granted);
    }

    void requestAccessibility() override
    {
        Accessibility::shared().isProcessTrustedWithPrompt();
        refreshAccessibilityStatus();
    }

private:
    bool m_granted;
    QTimer m_poll;
};

} // namespace

std::unique_ptr<PermissionManagerInterface> makePermissionManager()
{
    return std::make_unique<PolledPermissionManager>();
}
