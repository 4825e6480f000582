#pragma once

#include "Tallyline/SignalPlatform.h"

#include <functional>

// The machine's own values: uname, the DMI product name, QSysInfo, the system locale and zone.
// Screen, appearance, layout direction and bundle information need more than Qt Core, so a host with
// a user interface supplies them through `setHostReaders`; without them they read as absent.
class SystemSignalPlatform : public SignalPlatform
{
public:
    struct HostReaders
    {
        std::function<std::optional<Screen>()> mainScreen;
        std::function<QString()> colorScheme;
        std::function<QString()> layoutDirection;
        std::function<std::optional<QString>(const QString &key)> bundleInfoString;
    };
    static void setHostReaders(HostReaders readers);

    QDateTime now() const override;
    QTimeZone timeZone() const override;
    QLocale locale() const override;
    QStringList preferredLanguages() const override;
    QVersionNumber systemVersion() const override;
    QString modelName() const override;
    QString architecture() const override;
    std::optional<Screen> mainScreen() const override;
    QString colorScheme() const override;
    QString layoutDirection() const override;
    std::optional<QString> bundleInfoString(const QString &key) const override;
    bool hasSandboxReceipt() const override;
    std::optional<UniversalAccess> universalAccess() const override;

    // The first line of the DMI product name file up to its first NUL, trimmed; else uname's machine.
    static QString modelNameFrom(const QByteArray &productName, const QString &machine);
};
