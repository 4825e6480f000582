#pragma once

#include "Kestrowan/editor/GroupShortcutStore.h"

#include <QPointer>

class KeyboardShortcutService;

// The recorder's view of the program's keyboard shortcut service.
class KeyboardShortcutStore final : public GroupShortcutStore {
    Q_OBJECT
public:
    explicit KeyboardShortcutStore(KeyboardShortcutService *service, QObject *parent = nullptr);
    ~KeyboardShortcutStore() override;

    QList<GroupShortcut> shortcuts() const override;
    void setGroupShortcut(const QUuid &groupID, quint16 keyCode, quint64 modifierFlags) override;
    void assignDefaultShortcut(const QUuid &groupID) override;
    void setRecording(bool recording) override;

private:
    QPointer<KeyboardShortcutService> m_service;
    bool m_recording = false;
};
