#pragma once

#include "Kestrowan/dock/KeyboardShortcutServiceInterface.h"
#include "Kestrowan/groups/GroupShortcut.h"
#include "Platform/HotKeys.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUuid>

#include <array>
#include <functional>
#include <optional>

class GroupManager;

// The global hot keys that open a group's popup: one list of shortcuts, kept in step with the
// groups (the first six get Control+1 to Control+6 unless they hold something else), stored under
// "groupShortcuts", and registered one hot key per list position. A press reaches `onTriggerGroup`
// on the main thread after the event has been answered.
class KeyboardShortcutService final : public KeyboardShortcutServiceInterface {
    Q_OBJECT
public:
    static constexpr std::array<quint16, 6> defaultKeyCodes{18, 19, 20, 21, 23, 22};
    static constexpr quint64 defaultModifier = GroupShortcut::controlModifier;
    static constexpr quint64 modifierMask = 0x1e0000;
    static constexpr quint32 hotKeySignature = 0x4B535457;

    explicit KeyboardShortcutService(QObject *parent = nullptr);

    QList<GroupShortcut> shortcuts() const override { return m_shortcuts; }
    // Notifies only when the list differs.
    void setShortcuts(const QList<GroupShortcut> &shortcuts) override;
    void setGroupManager(GroupManager *groupManager) override { m_groupManager = groupManager; }
    const QMap<quint32, quint64> &hotKeyRefs() const { return m_hotKeyRefs; }
    bool hasEventHandler() const { return m_eventHandler.has_value(); }

    void reconcileShortcuts(const QList<QUuid> &groupIDs) override;
    // `modifierFlags` is a key event's modifier word; only the four modifier bits are kept.
    void setGroupShortcut(const QUuid &groupID, quint16 keyCode, quint64 modifierFlags);
    void assignDefaultShortcut(const QUuid &groupID);
    void stopHotKeys() override;
    void installHotKeyHandler() override;
    void registerAllHotKeys() override;
    void unregisterAllHotKeys();
    // While a shortcut is being recorded the hot keys are let go, so that the recorder sees every
    // combination, the ones groups hold included; each pause is ended by one resume, and the last
    // resume registers them again.
    void pauseHotKeys();
    void resumeHotKeys();
    bool areHotKeysPaused() const { return m_pauses > 0; }
    void handleHotKey(quint32 identifier);
    void hotKeyEventCallback(const HotKeyEvent &event);

    // Whether the group's shortcut works right now; a combination that could not be registered
    // does not, and says why.
    bool isShortcutActive(const QUuid &groupID) const;
    std::optional<QString> registrationFailure(const QUuid &groupID) const { return m_failures.value(groupID); }

    static std::optional<quint16> firstFreeDefaultShortcutKey(const QList<GroupShortcut> &shortcuts);
    static quint32 hotKeyModifiers(quint64 modifierRawValue);

signals:
    // Which shortcuts work changed (registered, refused or unregistered).
    void registrationsChanged();

private:
    void persistAndReregister();

    GroupManager *m_groupManager = nullptr;
    QList<GroupShortcut> m_shortcuts;
    QMap<quint32, quint64> m_hotKeyRefs;
    std::optional<quint64> m_eventHandler;
    QHash<QUuid, QString> m_failures;
    int m_pauses = 0;
};
