#pragma once

#include <sys/resource.h>

// While it lives no file of this process grows past `bytes`: the kernel refuses every byte past it
// with EFBIG, as a full disk refuses them with ENOSPC, and short writes are buffered and fail only
// when they are flushed. The limit is the process's, so a writer's own thread meets it too.
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes);
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;
    // Whether the limit could be set.
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    bool m_active = false;
};
