#include "Kestrowan/editor/KeyboardShortcutStore.h"

#include "Kestrowan/dock/KeyboardShortcutService.h"

KeyboardShortcutStore::KeyboardShortcutStore(KeyboardShortcutService *service, QObject *parent)
    : GroupShortcutStore(parent), m_service(service)
{
    if (service)
        connect(service, &KeyboardShortcutServiceInterface::shortcutsChanged, this, &GroupShortcutStore::shortcutsChanged);
}

QList<GroupShortcut> KeyboardShortcutStore::shortcuts() const
{
    return m_service ? m_service->shortcuts() : QList<GroupShortcut>();
}

void KeyboardShortcutStore::setGroupShortcut(const QUuid &groupID, quint16 keyCode, quint64 modifierFlags)
{
    if (m_service)
        m_service->setGroupShortcut(groupID, keyCode, modifierFlags);
}

void KeyboardShortcutStore::assignDefaultShortcut(const QUuid &groupID)
{
    if (m_service)
        m_service->assignDefaultShortcut(groupID);
}
