#pragma once

#include "Platform/RunningApplications.h"

#include <QHash>

class FakeRunningApplications final : public RunningApplications {
public:
    QList<RunningApplication> running;
    QHash<QString, QString> installedPaths; // bundle identifier -> path

    QList<RunningApplication> runningApplications() const override { return running; }
    std::optional<QString> applicationPath(const QString &bundleIdentifier) const override
    {
        const auto found = installedPaths.constFind(bundleIdentifier);
        if (found == installedPaths.cend())
            return std::nullopt;
        return *found;
    }
};
