#pragma once

#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <optional>

// The program's own bundle information ("CFBundleShortVersionString", "CFBundleVersion", the
// analytics services it reports to), filled in by the build and compiled into the program.
class BundleInformation {
public:
    static const QVariantMap &main();
    // A string entry; nullopt when it is absent, empty or not a string.
    static std::optional<QString> string(const QString &key);

    // What the analytics facade is configured with; each part is absent when the build set none.
    struct Analytics {
        std::optional<QString> tallylineAppID;
        std::optional<QUrl> tallylineBaseURL;
        std::optional<QString> hawklineAPIKey;
        QString hawklineHost;
    };
    static Analytics analytics(const QVariantMap &information = main());
};
