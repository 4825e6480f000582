#pragma once

#include <QList>

#include <sys/types.h>

// Processes of the test that keep the processors busy until they are ended, each at most a few
// minutes of processor time (the kernel ends them then), and with the test: the load a test puts
// beside what it drives, ended by their own ids.
class BusyProcesses {
public:
    BusyProcesses() = default;
    BusyProcesses(const BusyProcesses &) = delete;
    BusyProcesses &operator=(const BusyProcesses &) = delete;
    ~BusyProcesses() { stop(); }

    void start(int count);
    void stop();

private:
    QList<pid_t> m_children;
};
