#pragma once

#include "Platform/ApplicationActivation.h"

#include <QTimer>

#include <memory>

class DockSocketLink;

// Tells the stand-in Dock this program's activation policy over the Dock's socket, as the window
// server would learn it, so that the Dock shows a running-application tile while the policy is
// regular. The Dock forgets a program whose connection closes, so the connection is kept open,
// and made again (with the policy told again) when the Dock restarts.
class DockSocketActivation final : public ApplicationActivation {
    Q_OBJECT
public:
    DockSocketActivation();
    ~DockSocketActivation() override;

    Policy activationPolicy() const override { return m_policy; }
    void setActivationPolicy(Policy policy) override;
    void activateIgnoringOtherApps() override;

private:
    void tellDock();
    void dockMessage(const QCborMap &message);

    Policy m_policy = Policy::Accessory;
    std::unique_ptr<DockSocketLink> m_link;
    QTimer m_reconnect;
};
