#include "Kestrowan/groups/SettingsValues.h"

#include "Platform/UserDefaults.h"

QString rawValue(ClickModeBehavior value)
{
    return value == ClickModeBehavior::Native ? QStringLiteral("native") : QStringLiteral("enhanced");
}

QString rawValue(AppearanceMode value)
{
    switch (value) {
    case AppearanceMode::Light:
        return QStringLiteral("light");
    case AppearanceMode::Dark:
        return QStringLiteral("dark");
    case AppearanceMode::System:
        break;
    }
    return QStringLiteral("system");
}

std::optional<ClickModeBehavior> clickModeBehaviorFromRawValue(const QString &raw)
{
    for (ClickModeBehavior value : allClickModeBehaviors()) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

std::optional<AppearanceMode> appearanceModeFromRawValue(const QString &raw)
{
    for (AppearanceMode value : allAppearanceModes()) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

QList<ClickModeBehavior> allClickModeBehaviors()
{
    return {ClickModeBehavior::Native, ClickModeBehavior::Enhanced};
}

QList<AppearanceMode> allAppearanceModes()
{
    return {AppearanceMode::System, AppearanceMode::Light, AppearanceMode::Dark};
}

bool boolWithDefault(const QString &key, bool defaultValue)
{
    const UserDefaults &defaults = UserDefaults::standard();
    // A stored value the boolean conversion cannot read counts as nothing stored.
    return defaults.boolean(key, defaultValue);
}

namespace AppSettings {

bool showInDock(const UserDefaults &defaults) { return defaults.boolean(showInDockKey, false); }
QString interactionMode(const UserDefaults &defaults) { return defaults.string(interactionModeKey, QStringLiteral("click")); }
QString clickModeBehavior(const UserDefaults &defaults) { return defaults.string(clickModeBehaviorKey, QStringLiteral("enhanced")); }
QString appearanceMode(const UserDefaults &defaults) { return defaults.string(appearanceModeKey, QStringLiteral("system")); }
bool autoSyncEnabled(const UserDefaults &defaults) { return defaults.boolean(autoSyncEnabledKey, false); }
bool autoRefreshDockLabel(const UserDefaults &defaults) { return defaults.boolean(autoRefreshDockLabelKey, true); }
bool didCompleteOnboarding(const UserDefaults &defaults) { return defaults.boolean(didCompleteOnboardingKey, false); }
QString appLanguage(const UserDefaults &defaults) { return defaults.string(appLanguageKey, QStringLiteral("system")); }

} // namespace AppSettings
