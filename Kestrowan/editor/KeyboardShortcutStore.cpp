#include "Kestrowan/editor/KeyboardShortcutStore.h"

#include "Kestrowan/dock/KeyboardShortcutService.h"

KeyboardShortcutStore::KeyboardShortcutStore(KeyboardShortcutService *service, QObject *parent)
    : GroupShortcutStore(parent), m_service(service)
{
    if (service)
        connect(service, &KeyboardShortcutServiceInterface::shortcutsChanged, this, &GroupShortcutStore::shortcutsChanged);
}

KeyboardShortcutStore::~KeyboardShortcutStore()
{
    // Gone while a recording runs (the page went first): the hot keys come back all the same.
    setRecording(false);
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

void KeyboardShortcutStore::setRecording(bool recording)
{
    if (recording == m_recording)
        return;
    m_recording = recording;
    if (!m_service)
        return;
    if (recording)
        m_service->pauseHotKeys();
    else
        m_service->resumeHotKeys();
}
