#pragma once

#include <QString>

#include <array>
#include <linux/capability.h>

// Root writes and removes where permissions forbid it. While this lives, the thread that made it, and
// every thread started from that one (a store's writer among them), keep to the permissions as any
// other user must; a test run by an ordinary user is not changed.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride();
    ~WithoutPermissionOverride();
    WithoutPermissionOverride(const WithoutPermissionOverride &) = delete;
    WithoutPermissionOverride &operator=(const WithoutPermissionOverride &) = delete;

private:
    std::array<__user_cap_data_struct, 2> m_saved{};
};

// Makes `folder` read-only (false) or writable by its owner again (true); whether that worked.
bool setFolderWritable(const QString &folder, bool writable);
