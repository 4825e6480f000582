#include "tests/support/BusyProcesses.h"

#include <QtGlobal>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

void BusyProcesses::start(int count)
{
    for (int i = 0; i < count; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const rlimit cpu{240, 240};
            ::setrlimit(RLIMIT_CPU, &cpu);
            volatile quint64 spin = 0;
            for (;;)
                spin = spin + 1;
        }
        if (child > 0)
            m_children.append(child);
    }
}

void BusyProcesses::stop()
{
    for (const pid_t child : std::as_const(m_children))
        ::kill(child, SIGKILL);
    for (const pid_t child : std::as_const(m_children))
        ::waitpid(child, nullptr, 0);
    m_children.clear();
}
