#pragma once

#include "Kestrowan/groups/GroupShortcut.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <functional>
#include <memory>

class GroupManager;

// The groups' global hot keys. The shell sets the stored shortcuts at start-up, and once the runtime
// starts it installs the handler and registers every shortcut.
class KeyboardShortcutServiceInterface : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QList<GroupShortcut> shortcuts() const = 0;
    // Notifies (shortcutsChanged) only when the list differs.
    virtual void setShortcuts(const QList<GroupShortcut> &shortcuts) = 0;
    virtual void setGroupManager(GroupManager *groupManager) = 0;

    // Drops the shortcuts of vanished groups, gives each group without one the first free default,
    // stores and saves the list and registers the hot keys again.
    virtual void reconcileShortcuts(const QList<QUuid> &groupIDs) = 0;
    virtual void stopHotKeys() = 0;
    virtual void installHotKeyHandler() = 0;
    virtual void registerAllHotKeys() = 0;

    // Called on the main thread with the group's id when its hot key is pressed.
    std::function<void(const QUuid &groupID)> onTriggerGroup;

signals:
    void shortcutsChanged();
};

// Empty, with no handler and no group manager; nothing is registered.
std::unique_ptr<KeyboardShortcutServiceInterface> makeKeyboardShortcutService();
