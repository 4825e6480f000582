#include "Kestrowan/dock/KeyboardShortcutService.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/Log.h"

#include <QPointer>

#include <algorithm>

KeyboardShortcutService::KeyboardShortcutService(QObject *parent)
    : KeyboardShortcutServiceInterface(parent)
{
}

void KeyboardShortcutService::setShortcuts(const QList<GroupShortcut> &shortcuts)
{
    if (shortcuts == m_shortcuts)
        return;
    m_shortcuts = shortcuts;
    emit shortcutsChanged();
}

std::optional<quint16> KeyboardShortcutService::firstFreeDefaultShortcutKey(const QList<GroupShortcut> &shortcuts)
{
    for (quint16 key : defaultKeyCodes) {
        const bool taken = std::any_of(shortcuts.cbegin(), shortcuts.cend(), [key](const GroupShortcut &shortcut) {
            return shortcut.keyCode == key && shortcut.modifierRawValue == defaultModifier;
        });
        if (!taken)
            return key;
    }
    return std::nullopt;
}

quint32 KeyboardShortcutService::hotKeyModifiers(quint64 modifierRawValue)
{
    quint32 modifiers = 0;
    if (modifierRawValue & GroupShortcut::controlModifier)
        modifiers |= HotKeyModifier::control;
    if (modifierRawValue & GroupShortcut::optionModifier)
        modifiers |= HotKeyModifier::option;
    if (modifierRawValue & GroupShortcut::shiftModifier)
        modifiers |= HotKeyModifier::shift;
    if (modifierRawValue & GroupShortcut::commandModifier)
        modifiers |= HotKeyModifier::command;
    return modifiers;
}

void KeyboardShortcutService::reconcileShortcuts(const QList<QUuid> &groupIDs)
{
    QList<GroupShortcut> working = m_shortcuts;
    working.removeIf([&groupIDs](const GroupShortcut &shortcut) { return !groupIDs.contains(shortcut.groupID); });
    QSet<QUuid> withEntry;
    for (const GroupShortcut &shortcut : std::as_const(working))
        withEntry.insert(shortcut.groupID);
    for (const QUuid &group : groupIDs) {
        if (withEntry.contains(group))
            continue;
        withEntry.insert(group); // a group listed twice gets one entry
        if (const std::optional<quint16> key = firstFreeDefaultShortcutKey(working))
            working.append(GroupShortcut{group, *key, defaultModifier});
    }
    const auto position = [&groupIDs](const GroupShortcut &shortcut) {
        const qsizetype index = groupIDs.indexOf(shortcut.groupID);
        return index < 0 ? std::numeric_limits<qsizetype>::max() : index;
    };
    std::stable_sort(working.begin(), working.end(),
                     [&position](const GroupShortcut &a, const GroupShortcut &b) { return position(a) < position(b); });
    // Most changes of the groups (a name typed key by key, an item added) leave every shortcut as
    // it was: with each one held, grabbing them all again would change nothing. A failed one is
    // tried again.
    const bool allHeld = working == m_shortcuts && m_eventHandler && m_pauses == 0 && m_failures.isEmpty()
        && m_hotKeyRefs.size() == m_shortcuts.size();
    setShortcuts(working);
    if (allHeld) {
        saveShortcuts(m_shortcuts);
        return;
    }
    persistAndReregister();
}

void KeyboardShortcutService::setGroupShortcut(const QUuid &groupID, quint16 keyCode, quint64 modifierFlags)
{
    const GroupShortcut shortcut{groupID, keyCode, modifierFlags & modifierMask};
    QList<GroupShortcut> list = m_shortcuts;
    const auto found = std::find_if(list.begin(), list.end(), [&groupID](const GroupShortcut &s) { return s.groupID == groupID; });
    if (found != list.end())
        *found = shortcut;
    else
        list.append(shortcut);
    setShortcuts(list);
    persistAndReregister();
}

void KeyboardShortcutService::assignDefaultShortcut(const QUuid &groupID)
{
    if (!m_groupManager)
        return;
    const QList<AppGroup> &groups = m_groupManager->groups();
    for (qsizetype i = 0; i < groups.size() && i < qsizetype(defaultKeyCodes.size()); ++i) {
        if (groups.at(i).id == groupID) {
            setGroupShortcut(groupID, defaultKeyCodes.at(size_t(i)), defaultModifier);
            return;
        }
    }
}

void KeyboardShortcutService::persistAndReregister()
{
    saveShortcuts(m_shortcuts);
    if (m_eventHandler && m_pauses == 0) {
        unregisterAllHotKeys();
        registerAllHotKeys();
    }
}

void KeyboardShortcutService::registerAllHotKeys()
{
    if (m_pauses > 0)
        return; // the last resume registers them
    HotKeys &hotKeys = HotKeys::shared();
    for (qsizetype i = 0; i < m_shortcuts.size(); ++i) {
        const GroupShortcut &shortcut = m_shortcuts.at(i);
        const quint32 identifier = quint32(i);
        QString failure;
        const std::optional<quint64> handle = hotKeys.registerHotKey(
            shortcut.keyCode, hotKeyModifiers(shortcut.modifierRawValue), EventHotKeyID{hotKeySignature, identifier}, &failure);
        if (!handle) {
            qCCritical(interactionLogger, "Could not register the shortcut %s of group %s: %s",
                       qPrintable(shortcut.displayString()), qPrintable(shortcut.groupID.toString(QUuid::WithoutBraces)),
                       qPrintable(failure));
            m_failures.insert(shortcut.groupID, failure);
            continue;
        }
        m_failures.remove(shortcut.groupID);
        if (const auto old = m_hotKeyRefs.constFind(identifier); old != m_hotKeyRefs.cend())
            hotKeys.unregisterHotKey(*old);
        m_hotKeyRefs.insert(identifier, *handle);
    }
    emit registrationsChanged();
}

void KeyboardShortcutService::unregisterAllHotKeys()
{
    HotKeys &hotKeys = HotKeys::shared();
    for (quint64 handle : std::as_const(m_hotKeyRefs))
        hotKeys.unregisterHotKey(handle);
    const bool changed = !m_hotKeyRefs.isEmpty() || !m_failures.isEmpty();
    m_hotKeyRefs.clear();
    m_failures.clear();
    if (changed)
        emit registrationsChanged();
}

void KeyboardShortcutService::pauseHotKeys()
{
    if (++m_pauses == 1)
        unregisterAllHotKeys();
}

void KeyboardShortcutService::resumeHotKeys()
{
    if (m_pauses == 0)
        return;
    if (--m_pauses == 0 && m_eventHandler)
        registerAllHotKeys();
}

void KeyboardShortcutService::stopHotKeys()
{
    unregisterAllHotKeys();
    if (m_eventHandler) {
        HotKeys::shared().removeHandler(*m_eventHandler);
        m_eventHandler.reset();
    }
}

void KeyboardShortcutService::installHotKeyHandler()
{
    const QPointer<KeyboardShortcutService> self(this);
    m_eventHandler = HotKeys::shared().installHandler([self](const HotKeyEvent &event) {
        if (self)
            self->hotKeyEventCallback(event);
    });
}

void KeyboardShortcutService::hotKeyEventCallback(const HotKeyEvent &event)
{
    // Only a press that names one of this program's hot keys may open anything.
    if (!event.hotKeyID) {
        qCWarning(interactionLogger, "Ignored a hot-key event without a readable identifier");
        return;
    }
    if (event.hotKeyID->signature != hotKeySignature) {
        qCWarning(interactionLogger, "Ignored a hot-key event of another signature");
        return;
    }
    const quint32 identifier = event.hotKeyID->id;
    const QPointer<KeyboardShortcutService> self(this);
    QMetaObject::invokeMethod(this, [self, identifier] {
        if (self)
            self->handleHotKey(identifier);
    }, Qt::QueuedConnection);
}

void KeyboardShortcutService::handleHotKey(quint32 identifier)
{
    if (identifier < quint32(m_shortcuts.size()) && onTriggerGroup)
        onTriggerGroup(m_shortcuts.at(qsizetype(identifier)).groupID);
}

bool KeyboardShortcutService::isShortcutActive(const QUuid &groupID) const
{
    for (qsizetype i = 0; i < m_shortcuts.size(); ++i) {
        if (m_shortcuts.at(i).groupID == groupID)
            return m_hotKeyRefs.contains(quint32(i)) && !m_failures.contains(groupID);
    }
    return false;
}

std::unique_ptr<KeyboardShortcutServiceInterface> makeKeyboardShortcutService()
{
    return std::make_unique<KeyboardShortcutService>();
}
