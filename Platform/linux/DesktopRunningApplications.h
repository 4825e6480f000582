#pragma once

#include "Platform/RunningApplications.h"

// Applications on a freedesktop system: an application is a desktop entry, its bundle identifier
// the entry's file ID without ".desktop". The running ones are the X11 client windows
// (_NET_CLIENT_LIST) grouped by process and matched to entries by WM_CLASS; a process with a normal
// window shown in task bars counts as a regular application, one with only other windows as an
// accessory. Without an X server nothing is running.
class DesktopRunningApplications final : public RunningApplications {
public:
    QList<RunningApplication> runningApplications() const override;
    std::optional<QString> applicationPath(const QString &bundleIdentifier) const override;
};
