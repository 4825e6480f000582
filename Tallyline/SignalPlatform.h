#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <QVersionNumber>

#include <memory>
#include <optional>

// What the default payload of a signal asks of the machine it runs on. The client reads it through
// `SignalPlatform::current()`; a host may install its own (tests fix the clock, zone and locale).
class SignalPlatform
{
public:
    struct Screen
    {
        double width = 0;  // main screen frame, points
        double height = 0;
        double scale = 1;  // backing scale factor
    };
    struct UniversalAccess
    {
        bool reduceMotion = false;
        bool invertColors = false;
    };

    virtual ~SignalPlatform() = default;

    virtual QDateTime now() const = 0;
    virtual QTimeZone timeZone() const = 0;
    virtual QLocale locale() const = 0;
    virtual QStringList preferredLanguages() const = 0;
    // Major, minor and patch of the running system.
    virtual QVersionNumber systemVersion() const = 0;
    virtual QString modelName() const = 0;
    virtual QString architecture() const = 0;
    // Absent without a main screen.
    virtual std::optional<Screen> mainScreen() const = 0;
    // "Light", "Dark" or "N/A".
    virtual QString colorScheme() const = 0;
    // "leftToRight", "rightToLeft" or "N/A" without an application object.
    virtual QString layoutDirection() const = 0;
    // A string entry of the application's bundle information ("CFBundleShortVersionString", ...).
    virtual std::optional<QString> bundleInfoString(const QString &key) const = 0;
    virtual bool hasSandboxReceipt() const = 0;
    // Absent when the system keeps no universal-access settings.
    virtual std::optional<UniversalAccess> universalAccess() const = 0;

    static std::shared_ptr<SignalPlatform> current();
    // Null restores the machine's own values.
    static void setCurrent(std::shared_ptr<SignalPlatform> platform);
};
