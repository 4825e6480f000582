#include "Kestrowan/editor/DraftChangeHandler.h"

#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/groups/GroupManager.h"

#include <algorithm>

namespace {

// A rename from another program this soon after the typing here ended was typed at the same time:
// its save was on its way (the file is watched, so it reaches this side well within it). After
// typing that met the other side's names on the way, the other user may still be typing for a while.
constexpr qint64 sameTimeMilliseconds = 3000;
constexpr qint64 stillTypingElsewhereMilliseconds = 60000;
// No key for this long: the user has stopped typing, though the field may keep the keyboard.
constexpr int typingPauseMilliseconds = 5000;

} // namespace

DraftChangeHandler::DraftChangeHandler(EditorDraft *draft, GroupManager *groupManager, bool isNewDraft,
                                       std::function<void()> scheduleAutoSync, QObject *parent)
    : QObject(parent), m_draft(draft), m_groupManager(groupManager), m_isNewDraft(isNewDraft), m_originalDraft(draft->draft()),
      m_scheduleAutoSync(std::move(scheduleAutoSync))
{
    connect(draft, &EditorDraft::draftChanged, this, &DraftChangeHandler::handleDraftChange);
    m_typingPause.setSingleShot(true);
    m_typingPause.setInterval(typingPauseMilliseconds);
    connect(&m_typingPause, &QTimer::timeout, this, &DraftChangeHandler::endTyping);
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
    std::optional<QString> replacedTypedName;
    if (now.name != before.name) {
        m_sinceRenamedElsewhere.start();
        if (m_typing) {
            // The field is the user's while they type; the end of the typing settles which name stays.
            m_renamedWhileTyping = true;
            m_nameMetAnother = true;
        } else {
            // Nothing typed, or the typing has ended: the name is the store's.
            merged.name = now.name;
            replacedTypedName = typedNameGivingWayTo(now.name);
        }
    }
    follow(&AppGroup::apps);
    follow(&AppGroup::displayStyle);
    follow(&AppGroup::iconStyle);
    follow(&AppGroup::skinId);
    follow(&AppGroup::customOpenerPath);
    follow(&AppGroup::openerRules);
    m_draft->setDraft(merged);
    // Told again at each later name of the same renaming over there, so the notice ends on the name kept.
    if (replacedTypedName)
        emit typedNameReplaced(*replacedTypedName, now.name);
}

std::optional<QString> DraftChangeHandler::typedNameGivingWayTo(const QString &name) const
{
    const qint64 window = m_nameMetAnother ? stillTypingElsewhereMilliseconds : sameTimeMilliseconds;
    const bool sameTime = m_sinceTyping.isValid() && m_sinceTyping.elapsed() < window;
    if (m_typedName && sameTime && name != *m_typedName)
        return m_typedName;
    return std::nullopt;
}

void DraftChangeHandler::nameTyped()
{
    m_typingPause.start();
    if (m_typing)
        return;
    m_typing = true;
    // A rename that came just before may still be typed over there.
    m_nameMetAnother = m_sinceRenamedElsewhere.isValid() && m_sinceRenamedElsewhere.elapsed() < sameTimeMilliseconds;
    m_renamedWhileTyping = false;
    m_typedName.reset();
}

void DraftChangeHandler::endTyping()
{
    m_typingPause.stop();
    if (!m_typing)
        return;
    m_typing = false;
    m_typedName = m_draft->draft().name;
    m_sinceTyping.start();
    // The store may hold the other program's name by now: the name on screen is stored again, so
    // that it is the latest word (a store already holding it writes nothing).
    if (std::exchange(m_renamedWhileTyping, false))
        storeCurrentDraft();
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
