#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QObject>
#include <QPointer>
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
};
