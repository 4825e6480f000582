#pragma once

#include <QList>
#include <QString>
#include <optional>

class UserDefaults;

// How a click on a group's Dock tile behaves while "interactionMode" is "click".
enum class ClickModeBehavior { Native, Enhanced };
// The window appearance the user chose.
enum class AppearanceMode { System, Light, Dark };

QString rawValue(ClickModeBehavior value);
QString rawValue(AppearanceMode value);
// Exact raw values only: a different letter case or a surrounding space makes no case.
std::optional<ClickModeBehavior> clickModeBehaviorFromRawValue(const QString &raw);
std::optional<AppearanceMode> appearanceModeFromRawValue(const QString &raw);
QList<ClickModeBehavior> allClickModeBehaviors();
QList<AppearanceMode> allAppearanceModes();

// The stored boolean under `key` when anything is stored there (with the defaults' own boolean
// conversion), else `defaultValue`.
bool boolWithDefault(const QString &key, bool defaultValue);

// The user-facing settings, read with the defaults every screen agrees on. Nothing is written
// until a value is set.
namespace AppSettings {
inline const QString showInDockKey = QStringLiteral("showInDock");
inline const QString interactionModeKey = QStringLiteral("interactionMode");
inline const QString clickModeBehaviorKey = QStringLiteral("clickModeBehavior");
inline const QString appearanceModeKey = QStringLiteral("appearanceMode");
inline const QString autoSyncEnabledKey = QStringLiteral("autoSyncEnabled");
inline const QString autoRefreshDockLabelKey = QStringLiteral("autoRefreshDockLabel");
inline const QString didCompleteOnboardingKey = QStringLiteral("didCompleteOnboarding");
// Set, and on disk, from the moment the first run's last button is pressed until it is marked done:
// its groups may be stored by then, so a start that finds it counts the first run as finished.
inline const QString firstRunFinishingKey = QStringLiteral("firstRunFinishing");
inline const QString appLanguageKey = QStringLiteral("appLanguage");

bool showInDock(const UserDefaults &defaults);
QString interactionMode(const UserDefaults &defaults);     // "click" unless set
QString clickModeBehavior(const UserDefaults &defaults);   // "enhanced" unless set
QString appearanceMode(const UserDefaults &defaults);      // "system" unless set
bool autoSyncEnabled(const UserDefaults &defaults);        // false unless set
bool autoRefreshDockLabel(const UserDefaults &defaults);   // true unless set
bool didCompleteOnboarding(const UserDefaults &defaults);  // false unless set
QString appLanguage(const UserDefaults &defaults);         // "system" unless set
} // namespace AppSettings
