#pragma once

#include "Kestrowan/groups/GroupShortcut.h"

#include <QList>
#include <QObject>
#include <QUuid>

// What the shortcut recorder needs of the keyboard shortcut service: the stored shortcuts, setting
// one group's, and giving a group its default back.
class GroupShortcutStore : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QList<GroupShortcut> shortcuts() const = 0;
    // Keeps only the four modifier bits of `modifierFlags`; replaces the group's entry or appends one.
    virtual void setGroupShortcut(const QUuid &groupID, quint16 keyCode, quint64 modifierFlags) = 0;
    // Control and the digit of the group's position for the first six groups; otherwise nothing.
    virtual void assignDefaultShortcut(const QUuid &groupID) = 0;
    // A recording starts (true) or ends (false): while one runs, the program's own hot keys must not
    // take the combinations the user presses before the recorder sees them.
    virtual void setRecording(bool recording) { Q_UNUSED(recording); }

signals:
    void shortcutsChanged();
};
