#pragma once

class AppNavigation;
class AppUpdater;
class GroupManager;
class InstalledAppsServiceInterface;
class KeyboardShortcutServiceInterface;
class PermissionManagerInterface;
class ShortcutStateStoreInterface;
class SkinManager;

// The long-lived services the windows read, all owned by the application for the life of the
// process; the pointers stay valid as long as any window exists.
struct AppEnvironment {
    GroupManager *groupManager = nullptr;
    AppUpdater *appUpdater = nullptr;
    InstalledAppsServiceInterface *appsService = nullptr;
    AppNavigation *navigation = nullptr;
    PermissionManagerInterface *permissionManager = nullptr;
    SkinManager *skinManager = nullptr;
    ShortcutStateStoreInterface *shortcutStateStore = nullptr;
    KeyboardShortcutServiceInterface *keyboardShortcutService = nullptr;
};
