#pragma once

#include "Platform/linux/DockPreferencesFile.h"

#include <memory>
#include <optional>

// The Dock's preferences as a system that refuses the program's changes quietly: the file is read
// as it stands, under its lock as always, and a write reports success but stores nothing, so that
// the program's read-back finds the list as it was. In effect while this lives.
class RefusedDockWrites {
public:
    RefusedDockWrites() { DockPreferences::install(std::make_unique<RefusingFile>()); }
    ~RefusedDockWrites() { DockPreferences::install(nullptr); }
    RefusedDockWrites(const RefusedDockWrites &) = delete;
    RefusedDockWrites &operator=(const RefusedDockWrites &) = delete;

private:
    class RefusingFile final : public DockPreferencesFile {
    public:
        bool write(const QString &, const QVariant &, int * = nullptr) override { return true; }
    };
};
