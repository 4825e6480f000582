#pragma once

#include "Platform/ApplicationBundles.h"

// Application bundles here: an ".app" folder with its "Contents/Info.plist", or a desktop entry whose
// file ID is the bundle identifier and whose "Name=" is the bundle's name.
class DesktopApplicationBundles final : public ApplicationBundles {
public:
    std::optional<ApplicationBundle> bundleAt(const QString &path) const override;
};

// The information list ("Contents/Info.plist") of the ".app" folder at `bundlePath`; empty when it is
// missing, too large or not a dictionary.
QVariantMap bundleInformationDictionary(const QString &bundlePath);
