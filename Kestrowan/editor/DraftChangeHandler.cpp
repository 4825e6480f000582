#include "Kestrowan/editor/DraftChangeHandler.h"

#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/groups/GroupManager.h"

#include <algorithm>

DraftChangeHandler::DraftChangeHandler(EditorDraft *draft, GroupManager *groupManager, bool isNewDraft,
                                       std::function<void()> scheduleAutoSync, QObject *parent)
    : QObject(parent), m_draft(draft), m_groupManager(groupManager), m_isNewDraft(isNewDraft), m_originalDraft(draft->draft()),
      m_scheduleAutoSync(std::move(scheduleAutoSync))
{
    connect(draft, &EditorDraft::draftChanged, this, &DraftChangeHandler::handleDraftChange);
    if (groupManager) {
        if (!isNewDraft)
            m_known = GroupManager::resettingRetiredIconStyle(draft->draft());
        connect(groupManager, &GroupManager::groupsChanged, this, &DraftChangeHandler::followStore);
    }
}

void DraftChangeHandler::store(const AppGroup &value)
{
    // Known before the store tells everyone, so that this editor does not take its own write for
    // someone else's.
    const AppGroup normalized = GroupManager::resettingRetiredIconStyle(value);
    // What the store already holds (the draft just took it over) is not written again.
    if (m_known == normalized)
        return;
    m_known = normalized;
    m_groupManager->updateGroup(value);
}

void DraftChangeHandler::followStore()
{
    if (!m_groupManager || !m_known)
        return;
    const QList<AppGroup> &groups = m_groupManager->groups();
    const auto found = std::find_if(groups.cbegin(), groups.cend(), [this](const AppGroup &group) { return group.id == m_known->id; });
    // A deleted group is the main window's business: it takes the page away.
    if (found == groups.cend() || *found == *m_known)
        return;
    const AppGroup before = *std::exchange(m_known, *found);
    const AppGroup &now = *found;
    // Only what changed over there: the editor's own changes not stored yet (a reorder) stay.
    AppGroup merged = m_draft->draft();
    const auto follow = [&](auto AppGroup::*field) {
        if (now.*field != before.*field)
            merged.*field = now.*field;
    };
    follow(&AppGroup::name);
    follow(&AppGroup::apps);
    follow(&AppGroup::displayStyle);
    follow(&AppGroup::iconStyle);
    follow(&AppGroup::skinId);
    follow(&AppGroup::customOpenerPath);
    follow(&AppGroup::openerRules);
    m_draft->setDraft(merged);
}

bool DraftChangeHandler::isRealChange(const AppGroup &value, const AppGroup &original)
{
    return value.iconStyle != original.iconStyle || value.skinId != original.skinId || value.displayStyle != original.displayStyle
           || !value.name.trimmed().isEmpty() || !value.apps.isEmpty();
}

void DraftChangeHandler::handleDraftChange(const AppGroup &value)
{
    if (m_draft->isReordering() || !m_groupManager)
        return;
    const auto schedule = [this] {
        if (m_scheduleAutoSync)
            m_scheduleAutoSync();
    };
    if (!m_isNewDraft) {
        store(value);
        schedule();
        return;
    }
    if (!m_hasMadeChanges && isRealChange(value, m_originalDraft)) {
        m_hasMadeChanges = true;
        const AppGroup created = m_groupManager->createGroup();
        AppGroup stored = value;
        stored.id = created.id;
        store(stored);
        m_draft->setDraft(stored); // comes back here and is stored once more, as any later change
        schedule();
        return;
    }
    if (m_hasMadeChanges) {
        store(value);
        schedule();
        return;
    }
    schedule();
}

void DraftChangeHandler::storeCurrentDraft()
{
    handleDraftChange(m_draft->draft());
}
