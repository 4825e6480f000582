#pragma once

#include <QObject>

#include <memory>

// Whether this machine can reach the network, and word when that changes. A machine that cannot
// tell counts as online: a request is then simply tried.
class NetworkReachability : public QObject {
    Q_OBJECT
public:
    static NetworkReachability &shared();
    // Replaces the process-wide one; nullptr goes back to this machine's.
    static void install(std::unique_ptr<NetworkReachability> reachability);

    virtual bool isOnline() = 0;

signals:
    // Comes on the thread that asked first.
    void onlineChanged(bool online);
};
