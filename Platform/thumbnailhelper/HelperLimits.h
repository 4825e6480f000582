#pragma once

// What a helper program's main sets up for itself before it reads any outside input. Included by
// each helper's main file only: it defines the checker's options for the whole program.

#include "Platform/FreedMemory.h"
#include "Platform/thumbnailhelper/ChildLimits.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTROWAN_HELPER_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KESTROWAN_HELPER_UNDER_ASAN 1
#endif

#if defined(KESTROWAN_HELPER_UNDER_ASAN)
// In a checked build the font and platform libraries' allocations still held at exit are no fault
// of a drawn picture; the helper lives for a few. Without its address space limit, the checker
// ends it when its resident memory passes what the limit allows.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0:hard_rss_limit_mb=1024";
}
#endif

namespace HelperLimits {

// The helper's bounds on itself, and its tie to the program that started it; in a checked build, whose shadow memory takes terabytes of address
// space up front, the checker's memory limit stands in for the address space one.
inline void applyToSelf()
{
    // Before anything else: a helper whose program has gone reads nothing more.
    if (!ChildLimits::bindToProgram(SIGKILL))
        ::_exit(127);
    // A helper lives for a batch of pictures and gives everything back as it ends.
    FreedMemory::keepForReuse();
#if defined(KESTROWAN_HELPER_UNDER_ASAN)
    ChildLimits::apply(false);
#else
    ChildLimits::apply(true);
#endif
}

} // namespace HelperLimits
