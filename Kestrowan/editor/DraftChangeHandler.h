#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <optional>

class EditorDraft;
class GroupManager;

// The editor's store-at-once road: every change of the draft is stored in the group store; a new
// draft becomes a stored group at its first real change (a style, a skin, a visible name or an
// item), taking the draft's content under the stored group's identifier. Opener settings alone are
// no real change, but they are stored together with the first real one. This handler alone decides
// whether the draft has been stored: the sections only write the draft.
class DraftChangeHandler : public QObject {
    Q_OBJECT
public:
    DraftChangeHandler(EditorDraft *draft, GroupManager *groupManager, bool isNewDraft, std::function<void()> scheduleAutoSync = {},
                       QObject *parent = nullptr);

    bool isNewDraft() const { return m_isNewDraft; }
    bool hasMadeChanges() const { return m_hasMadeChanges; }
    // What "revert" goes back to; changed only by a successful Dock sync.
    const AppGroup &originalDraft() const { return m_originalDraft; }
    void setOriginalDraft(const AppGroup &group) { m_originalDraft = group; }

    // Whether `value` differs from `original` in a way that makes a new draft worth storing.
    static bool isRealChange(const AppGroup &value, const AppGroup &original);

    void handleDraftChange(const AppGroup &value);
    // Runs the draft as it is now through the same road, as if it had just changed: the end of a
    // reorder, whose changes were held back while it lasted.
    void storeCurrentDraft();

    // While the user types in the name field, the name in it is theirs: a name another program
    // sharing the groups file saves meanwhile does not replace it, though the store takes it in.
    // The typing ends with Return, a pause or leaving the field; a name that met another one on the
    // way is then stored once more, as the latest word, so whichever side ends last keeps its name
    // on both. From then on the name is the store's again: a later name from the other side shows
    // at once, and the user whose typed name gave way hears of it (`typedNameReplaced`).
    void nameTyped();
    void endTyping();
    bool isTyping() const { return m_typing; }
    void setTypingPause(int milliseconds) { m_typingPause.setInterval(milliseconds); }

signals:
    // The name the user typed here gave way to `kept`, typed at the same time in another program.
    void typedNameReplaced(const QString &typed, const QString &kept);

private:
    // Another window (the popup's rename, say) changed the stored group: the draft takes over what
    // changed there, so that the editor's next change does not write the old values back.
    void followStore();
    void store(const AppGroup &value);

    EditorDraft *m_draft;
    QPointer<GroupManager> m_groupManager;
    bool m_isNewDraft;
    bool m_hasMadeChanges = false;
    AppGroup m_originalDraft;
    // The group as the store held it when the editor last wrote or read it; what changed in the
    // store since then came from elsewhere.
    std::optional<AppGroup> m_known;
    std::function<void()> m_scheduleAutoSync;
    // The typed name the other program's `name` gives way to, when it came soon enough after the
    // typing here to have been typed at the same time.
    std::optional<QString> typedNameGivingWayTo(const QString &name) const;

    bool m_typing = false;
    // Another program renamed the group while the user here was typing (or just before).
    bool m_nameMetAnother = false;
    // Another program renamed the group while the user here was typing, and no name stored here
    // since answered it.
    bool m_renamedWhileTyping = false;
    // The name last typed here, while another program's rename may still answer it.
    std::optional<QString> m_typedName;
    QElapsedTimer m_sinceRenamedElsewhere;
    QElapsedTimer m_sinceTyping;
    QTimer m_typingPause;
};
