#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

// What an application bundle says about itself. Information keys follow the platform's bundle
// information list ("CFBundleIdentifier", "CFBundleName", "CFBundleDisplayName", ...); localised
// values are already merged in.
struct ApplicationBundle {
    QString path;
    std::optional<QString> bundleIdentifier;
    QVariantMap information;

    QVariant informationValue(const QString &key) const { return information.value(key); }
};

// Application bundles on this machine: ".app" bundle folders and desktop entries (".desktop" files).
class ApplicationBundles {
public:
    virtual ~ApplicationBundles() = default;

    static ApplicationBundles &shared();
    // Replaces the process-wide reader; nullptr goes back to this machine's.
    static void install(std::unique_ptr<ApplicationBundles> info);

    // Whether a path names an application by its suffix alone (".app" or ".desktop", any letter case);
    // nothing need exist there.
    static bool isApplicationPath(const QString &path);

    // The bundle at `path`; nullopt when no bundle can be opened there.
    virtual std::optional<ApplicationBundle> bundleAt(const QString &path) const = 0;
};
