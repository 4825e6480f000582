#pragma once

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

// The bounds every child that reads outside input runs under: each helper sets them on itself in its
// `main`, and the program sets them in every other such child between fork and exec (the calls are
// safe there: no allocation, no lock).
namespace ChildLimits {

// Address space: far more than any ordinary picture, page or frame needs, far less than the
// machine has.
constexpr rlim_t addressSpaceBytes = rlim_t(1) << 30;
// Processor time: the soft limit sends SIGXCPU, which ends the process; the hard one kills it.
constexpr rlim_t cpuSeconds = 8;

// `withAddressSpace` is false in a checked build, which reserves terabytes of shadow memory up front.
inline void apply(bool withAddressSpace)
{
    if (withAddressSpace) {
        const rlimit memory{addressSpaceBytes, addressSpaceBytes};
        setrlimit(RLIMIT_AS, &memory);
    }
    const rlimit cpu{cpuSeconds, cpuSeconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
}

// The environment variable through which the program hands a helper it starts its own process id.
inline constexpr char parentVariable[] = "KESTROWAN_HELPER_PARENT";

// In a helper's `main`, first: dies by `deathSignal` when the program (the thread that started it)
// ends, even when the program is killed. False when the program went before this line, when
// nothing would end the helper any more, and the helper should end at once. Started without the
// variable (by hand, by a benchmark), it has no program to check.
inline bool bindToProgram(int deathSignal)
{
    ::prctl(PR_SET_PDEATHSIG, deathSignal);
    const char *value = std::getenv(parentVariable);
    if (!value)
        return true;
    char *end = nullptr;
    const long parent = std::strtol(value, &end, 10);
    const bool valid = end != value && *end == '\0' && parent > 0;
    // Not for what the helper itself starts: those bind to the helper.
    ::unsetenv(parentVariable);
    return valid && ::getppid() == pid_t(parent);
}

} // namespace ChildLimits
