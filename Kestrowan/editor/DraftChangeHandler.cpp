#include "Kestrowan/editor/DraftChangeHandler.h"

#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/groups/GroupManager.h"

DraftChangeHandler::DraftChangeHandler(EditorDraft *draft, GroupManager *groupManager, bool isNewDraft,
                                       std::function<void()> scheduleAutoSync, QObject *parent)
    : QObject(parent), m_draft(draft), m_groupManager(groupManager), m_isNewDraft(isNewDraft), m_originalDraft(draft->draft()),
      m_scheduleAutoSync(std::move(scheduleAutoSync))
{
    connect(draft, &EditorDraft::draftChanged, this, &DraftChangeHandler::handleDraftChange);
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
        m_groupManager->updateGroup(value);
        schedule();
        return;
    }
    if (!m_hasMadeChanges && isRealChange(value, m_originalDraft)) {
        m_hasMadeChanges = true;
        const AppGroup created = m_groupManager->createGroup();
        AppGroup stored = value;
        stored.id = created.id;
        m_groupManager->updateGroup(stored);
        m_draft->setDraft(stored); // comes back here and is stored once more, as any later change
        schedule();
        return;
    }
    if (m_hasMadeChanges) {
        m_groupManager->updateGroup(value);
        schedule();
        return;
    }
    schedule();
}

void DraftChangeHandler::storeCurrentDraft()
{
    handleDraftChange(m_draft->draft());
}
