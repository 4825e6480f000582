#pragma once

#include "Platform/NetworkReachability.h"

// A network that is there or not as the test says.
class FakeNetworkReachability final : public NetworkReachability {
    Q_OBJECT
public:
    bool isOnline() override { return m_online; }

    void setOnline(bool online)
    {
        if (online == m_online)
            return;
        m_online = online;
        emit onlineChanged(online);
    }

private:
    bool m_online = true;
};
