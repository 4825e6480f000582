#include "Kestrowan/editor/ShortcutRecorder.h"

#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/GroupShortcutStore.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Platform/VirtualKeys.h"

#include <QApplication>
#include <QKeyEvent>

// The application-wide key-press watch installed while recording.
class ShortcutRecorder::Monitor : public QObject {
public:
    explicit Monitor(ShortcutRecorder *recorder) : m_recorder(recorder) { qApp->installEventFilter(this); }
    ~Monitor() override
    {
        if (qApp)
            qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        // A press may pass here more than once on its way up the widgets; an unused one changes
        // nothing, and a used one goes no further.
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        const std::optional<KeyPress> press = m_recorder->m_translator ? m_recorder->m_translator(*key) : std::nullopt;
        if (!press)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            // Claim the combination, so no menu or button shortcut fires before it is recorded.
            if ((press->modifierFlags & requiredModifiers) == 0)
                return false;
            key->accept();
            return true;
        }
        return m_recorder->handleKeyPress(press->keyCode, press->modifierFlags);
    }

private:
    ShortcutRecorder *m_recorder;
};

ShortcutRecorder::KeyTranslator ShortcutRecorder::platformKeyTranslator()
{
    return [](const QKeyEvent &event) -> std::optional<KeyPress> {
        switch (event.key()) {
        case Qt::Key_Control:
        case Qt::Key_Shift:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
            return std::nullopt;
        default:
            break;
        }
        const std::optional<quint16> code = VirtualKeys::keyCodeForQtKey(event.key());
        if (!code)
            return std::nullopt;
        return KeyPress{*code, VirtualKeys::modifierFlags(event.modifiers())};
    };
}

ShortcutRecorder::ShortcutRecorder(EditorDraft *draft, GroupShortcutStore *store, GroupManager *groupManager,
                                   KeyTranslator translator, QObject *parent)
    : QObject(parent), m_draft(draft), m_store(store), m_groupManager(groupManager), m_translator(std::move(translator))
{
    if (store)
        connect(store, &GroupShortcutStore::shortcutsChanged, this, &ShortcutRecorder::stateChanged);
    if (groupManager)
        connect(groupManager, &GroupManager::groupsChanged, this, &ShortcutRecorder::stateChanged);
    // A new draft gets its stored identifier when it is first stored.
    connect(draft, &EditorDraft::draftChanged, this, [this] {
        if (m_isRecording && !canRecord())
            cancelRecording();
        emit stateChanged();
    });
}

ShortcutRecorder::~ShortcutRecorder()
{
    stopRecording();
}

bool ShortcutRecorder::canRecord() const
{
    if (!m_store || !m_groupManager)
        return false;
    const QUuid id = m_draft->groupID();
    const QList<AppGroup> &groups = m_groupManager->groups();
    return std::any_of(groups.cbegin(), groups.cend(), [&](const AppGroup &group) { return group.id == id; });
}

std::optional<GroupShortcut> ShortcutRecorder::currentShortcut() const
{
    if (!m_store)
        return std::nullopt;
    for (const GroupShortcut &shortcut : m_store->shortcuts()) {
        if (shortcut.groupID == m_draft->groupID())
            return shortcut;
    }
    return std::nullopt;
}

void ShortcutRecorder::toggleRecording()
{
    if (m_isRecording) {
        m_isRecording = false;
        m_needsModifier = false;
        stopRecording();
    } else {
        if (!canRecord())
            return;
        m_conflict = false;
        m_needsModifier = false;
        m_isRecording = true;
        startRecording();
    }
    emit stateChanged();
}

void ShortcutRecorder::startRecording()
{
    stopRecording();
    m_monitor = std::make_unique<Monitor>(this);
    if (m_store)
        m_store->setRecording(true);
}

void ShortcutRecorder::stopRecording()
{
    if (!m_monitor)
        return;
    m_monitor.reset();
    if (m_store)
        m_store->setRecording(false);
}

void ShortcutRecorder::resetToDefault()
{
    if (m_store && canRecord())
        m_store->assignDefaultShortcut(m_draft->groupID());
    m_conflict = false;
    m_needsModifier = false;
    emit stateChanged();
}

void ShortcutRecorder::cancelRecording()
{
    const bool was = m_isRecording;
    m_isRecording = false;
    // The Shift-alone hint speaks of the recording under way; it goes with it.
    m_needsModifier = false;
    stopRecording();
    if (was)
        emit stateChanged();
}

bool ShortcutRecorder::handleKeyPress(quint16 keyCode, quint64 modifierFlags)
{
    if (!m_isRecording || !m_store)
        return false;
    const quint64 masked = modifierFlags & modifierMask;
    if (masked == 0)
        return false; // ordinary typing goes on; the recording waits
    if ((masked & requiredModifiers) == 0) {
        // Shift alone would turn a capital letter into a global hot key.
        m_needsModifier = true;
        emit stateChanged();
        return true;
    }
    m_needsModifier = false;
    const QUuid id = m_draft->groupID();
    const QList<GroupShortcut> shortcuts = m_store->shortcuts();
    const bool taken = std::any_of(shortcuts.cbegin(), shortcuts.cend(), [&](const GroupShortcut &shortcut) {
        return shortcut.groupID != id && shortcut.keyCode == keyCode && shortcut.modifierRawValue == masked;
    });
    m_conflict = taken;
    if (!taken)
        m_store->setGroupShortcut(id, keyCode, modifierFlags);
    m_isRecording = false;
    stopRecording();
    emit stateChanged();
    return true;
}
