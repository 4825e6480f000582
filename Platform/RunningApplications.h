#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <optional>

// One application that is running now, as the workspace lists it. Empty strings stand for what the
// workspace does not know.
struct RunningApplication {
    // Regular applications have a Dock icon; accessory ones only windows or a menu; prohibited ones
    // run in the background.
    enum class ActivationPolicy { Regular, Accessory, Prohibited };

    QString bundleIdentifier;
    QString localizedName;
    QString bundlePath;
    qint64 processIdentifier = 0;
    ActivationPolicy activationPolicy = ActivationPolicy::Regular;
};

// The workspace's view of applications: which ones run now and where an application is installed.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;

    static RunningApplications &shared();
    // Replaces the process-wide workspace; nullptr goes back to this machine's.
    static void install(std::unique_ptr<RunningApplications> applications);

    // In the workspace's order.
    virtual QList<RunningApplication> runningApplications() const = 0;
    // The installed application with this bundle identifier, as a file path; nullopt when none is known.
    virtual std::optional<QString> applicationPath(const QString &bundleIdentifier) const = 0;
};
