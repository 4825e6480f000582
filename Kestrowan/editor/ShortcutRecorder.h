#pragma once

#include "Kestrowan/groups/GroupShortcut.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class EditorDraft;
class GroupManager;
class GroupShortcutStore;
class QKeyEvent;

// Records a group's global shortcut from the next key press that carries Control, Option or
// Command, refuses one that another group uses (or that has only Shift, which would catch ordinary
// typing), and gives the group its default back. A group that is not stored yet has no shortcut to
// record: its identifier may still change, so recording waits until the group is stored.
class ShortcutRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr quint64 modifierMask = 0x1E0000;
    // At least one of these must be held: Control, Option, Command.
    static constexpr quint64 requiredModifiers = GroupShortcut::controlModifier | GroupShortcut::optionModifier
                                                 | GroupShortcut::commandModifier;

    // A key press as the platform names it: the virtual key code and the modifier flags, or nothing
    // for a key that has no code (or a press of a modifier key alone).
    struct KeyPress {
        quint16 keyCode = 0;
        quint64 modifierFlags = 0;
    };
    using KeyTranslator = std::function<std::optional<KeyPress>(const QKeyEvent &event)>;

    // Key events as this platform reports them: Qt's key through the shared table of virtual key
    // codes, Qt's modifiers as the platform's flags; a modifier key pressed alone gives nothing.
    static KeyTranslator platformKeyTranslator();

    ShortcutRecorder(EditorDraft *draft, GroupShortcutStore *store, GroupManager *groupManager, KeyTranslator translator,
                     QObject *parent = nullptr);
    ~ShortcutRecorder() override;

    bool isRecording() const { return m_isRecording; }
    bool hasConflict() const { return m_conflict; }
    // The last key press had Shift as its only modifier.
    bool needsModifier() const { return m_needsModifier; }
    // Whether the group is stored, so that a shortcut can be recorded for it.
    bool canRecord() const;
    bool isMonitoring() const { return m_monitor != nullptr; }
    std::optional<GroupShortcut> currentShortcut() const;

    void toggleRecording();
    void resetToDefault();
    // The page is left: a recording under way ends.
    void cancelRecording();

    // One key press while recording; true when it was used up (set, refused or a conflict), false
    // when it goes on to the application as usual.
    bool handleKeyPress(quint16 keyCode, quint64 modifierFlags);

signals:
    // Anything shown by the shortcut section may have changed.
    void stateChanged();

private:
    class Monitor;
    void startRecording();
    void stopRecording();

    EditorDraft *m_draft;
    QPointer<GroupShortcutStore> m_store;
    QPointer<GroupManager> m_groupManager;
    KeyTranslator m_translator;
    std::unique_ptr<Monitor> m_monitor;
    bool m_isRecording = false;
    bool m_conflict = false;
    bool m_needsModifier = false;
};
