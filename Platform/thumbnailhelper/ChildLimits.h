#pragma once

#include <sys/resource.h>

// The bounds every child that reads outside input runs under: the thumbnail helper sets them on
// itself, and the program sets them in every other such child between fork and exec. Both calls are
// safe there (no allocation, no lock).
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

} // namespace ChildLimits
