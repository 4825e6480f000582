#pragma once

#include "Tallyline/SignalPlatform.h"

// Values a test chooses; every field may be changed between calls.
class FixedSignalPlatform : public SignalPlatform
{
public:
    QDateTime clock = QDateTime(QDate(2026, 12, 6), QTime(17, 41, 0, 250), QTimeZone::utc());
    QTimeZone zone = QTimeZone::utc();
    QLocale localeValue = QLocale(QLocale::English, QLocale::UnitedStates);
    QStringList languages{QStringLiteral("en-US")};
    QVersionNumber version{14, 2, 1};
    std::optional<Screen> screen = Screen{1440, 900, 2};
    QMap<QString, QString> bundleInfo{{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.4")},
                                      {QStringLiteral("CFBundleVersion"), QStringLiteral("41")}};
    std::optional<UniversalAccess> access;

    QDateTime now() const override { return clock; }
    QTimeZone timeZone() const override { return zone; }
    QLocale locale() const override { return localeValue; }
    QStringList preferredLanguages() const override { return languages; }
    QVersionNumber systemVersion() const override { return version; }
    QString modelName() const override { return QStringLiteral("TestBook1,1"); }
    QString architecture() const override { return QStringLiteral("x86_64"); }
    std::optional<Screen> mainScreen() const override { return screen; }
    QString colorScheme() const override { return QStringLiteral("Dark"); }
    QString layoutDirection() const override { return QStringLiteral("leftToRight"); }
    std::optional<QString> bundleInfoString(const QString &key) const override
    {
        if (!bundleInfo.contains(key))
            return std::nullopt;
        return bundleInfo.value(key);
    }
    bool hasSandboxReceipt() const override { return false; }
    std::optional<UniversalAccess> universalAccess() const override { return access; }
};
