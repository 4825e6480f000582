#pragma once

// A process that makes and frees pictures of a megabyte, one after another, would otherwise hand
// each back to the system as it is freed and take it again, faulting in and zeroing every page of
// every picture: that was a quarter of the icon helper's time. The heap keeps what is freed for the
// next picture; what it holds goes back to the system when a batch is done.

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace FreedMemory {

// Blocks up to the largest glibc takes from its heap (32 MiB) come from the heap and stay there
// when freed, until returnAll().
inline void keepForReuse()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

// Gives back to the system every page the heap holds free.
inline void returnAll()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace FreedMemory
