#pragma once

#include "Platform/NetworkReachability.h"

// The network's reachability as the system's network manager reports it through Qt. The backend is
// loaded at the first question, not before: only a program that sends something needs it.
class QtNetworkReachability final : public NetworkReachability {
    Q_OBJECT
public:
    bool isOnline() override;

private:
    bool m_loaded = false;
};
