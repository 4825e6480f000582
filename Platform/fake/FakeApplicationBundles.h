#pragma once

#include "Platform/ApplicationBundles.h"

#include "Platform/fake/TableLookup.h"

#include <QHash>

// Bundles from a table; any other path opens no bundle.
class FakeApplicationBundles final : public ApplicationBundles {
public:
    QHash<QString, ApplicationBundle> bundles; // path -> bundle

    std::optional<ApplicationBundle> bundleAt(const QString &path) const override
    {
        return tableLookup(bundles, path);
    }
};
