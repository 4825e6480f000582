#pragma once

#include <QString>

#include <memory>

// The names the file manager shows for paths: an application's own name rather than its bundle's
// file name, for example.
class DisplayNames {
public:
    virtual ~DisplayNames() = default;

    static DisplayNames &shared();
    // Replaces the process-wide naming; nullptr goes back to this machine's.
    static void install(std::unique_ptr<DisplayNames> names);

    // The display name of `path`; for a path where nothing exists, its last component.
    virtual QString displayNameAtPath(const QString &path) const = 0;
};
