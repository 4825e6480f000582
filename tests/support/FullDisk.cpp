#include "tests/support/FullDisk.h"

#include <csignal>

FullDisk::FullDisk(rlim_t bytes)
{
    // Past the limit the kernel would otherwise end the process instead of failing the write.
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_saved);
    rlimit lowered = m_saved;
    lowered.rlim_cur = bytes;
    m_active = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

FullDisk::~FullDisk()
{
    setrlimit(RLIMIT_FSIZE, &m_saved);
}
