#include "Kestrowan/onboarding/OnboardingFlow.h"

#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/onboarding/OnboardingCompletion.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/RunningApplications.h"
#include "Platform/UserDefaults.h"
#include "analytics/NVLXAnalytics.h"

#include <QTextBoundaryFinder>
#include <QTimer>

namespace {

// Focus requests wait a moment so that the field they name is on screen.
constexpr int focusDelayMilliseconds = 50;

QString number(qsizetype value)
{
    return QString::number(value);
}

} // namespace

OnboardingFlow::OnboardingFlow(Services services, Action onFinish, Action onSkip, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_completion(services.completion
                       ? services.completion
                       : new OnboardingCompletion({services.groupManager, services.skinManager, services.permissionManager}, this))
    , m_onFinish(std::move(onFinish))
    , m_onSkip(std::move(onSkip))
    , m_signal([](const QString &name, const QMap<QString, QString> &parameters) { NVLXAnalytics::signal(name, parameters); })
{
    if (PermissionManagerInterface *permissions = m_services.permissionManager) {
        connect(permissions, &PermissionManagerInterface::accessibilityGrantedChanged, this,
                &OnboardingFlow::adoptHoverModeWhenTrusted);
    }
    connect(m_completion, &OnboardingCompletion::completed, this, &OnboardingFlow::completeFinish);
    if (const std::optional<OnboardingCompletion::Finish> &running = m_completion->running()) {
        m_groups = running->drafts;
        m_activeGroupID = m_groups.isEmpty() ? std::nullopt : std::optional(m_groups.first().id);
        m_dockApps = running->dockApps;
        m_runningBundleIDs = running->runningBundleIDs;
        m_step = lastStep;
        m_isFinishing = true;
    }
}

void OnboardingFlow::signal(const QString &name, const QMap<QString, QString> &parameters) const
{
    if (m_signal)
        m_signal(name, parameters);
}

void OnboardingFlow::appear()
{
    // A finish under way shows what it was started with; the first run does not start again.
    if (m_isFinishing)
        return;
    signal(QStringLiteral("onboarding.started"));
    QSet<QString> running;
    for (const RunningApplication &app : RunningApplications::shared().runningApplications()) {
        if (app.activationPolicy == RunningApplication::ActivationPolicy::Regular && !app.bundleIdentifier.isEmpty())
            running.insert(app.bundleIdentifier);
    }
    // The running set is known before the Dock is read, so that the order uses it.
    m_runningBundleIDs = running;
    setDockApps(DockReader::dockApps(), running);
}

void OnboardingFlow::setDockApps(const QList<DockReader::DockApp> &dockApps, const QSet<QString> &runningBundleIDs)
{
    m_runningBundleIDs = runningBundleIDs;
    m_dockApps = runningFirst(dockApps, runningBundleIDs);
    qCInfo(appLogger, "First run: %lld Dock applications, %lld running", qlonglong(m_dockApps.size()), qlonglong(runningBundleIDs.size()));
    emit changed();
}

QList<DockReader::DockApp> OnboardingFlow::runningFirst(const QList<DockReader::DockApp> &dockApps,
                                                        const QSet<QString> &runningBundleIDs)
{
    QList<DockReader::DockApp> ordered;
    ordered.reserve(dockApps.size());
    for (const DockReader::DockApp &app : dockApps) {
        if (runningBundleIDs.contains(app.bundleIdentifier))
            ordered << app;
    }
    for (const DockReader::DockApp &app : dockApps) {
        if (!runningBundleIDs.contains(app.bundleIdentifier))
            ordered << app;
    }
    return ordered;
}

std::optional<DockReader::DockApp> OnboardingFlow::dockAppForBundleID(const QString &bundleID) const
{
    for (const DockReader::DockApp &app : m_dockApps) {
        if (app.bundleIdentifier == bundleID)
            return app;
    }
    return std::nullopt;
}

void OnboardingFlow::setStep(int step)
{
    // The bar offers nothing outside the five steps and nothing once the flow is over.
    if (m_ended || step < 0 || step > lastStep || step == m_step)
        return;
    const int from = std::exchange(m_step, step);
    qCDebug(appLogger, "First run: step %d", step);
    handleStepChange(from, step);
    emit stepChanged(from, step);
    emit changed();
}

void OnboardingFlow::handleStepChange(int from, int to)
{
    signal(QStringLiteral("onboarding.step_changed"),
           {{QStringLiteral("from"), number(from)}, {QStringLiteral("to"), number(to)},
            {QStringLiteral("groups_count"), number(m_groups.size())}});
    if (to != 1)
        return;
    m_isCreatingGroup = false;
    m_pendingGroupName.clear();
    if (!m_groups.isEmpty())
        return;
    const DraftGroup first{QUuid::createUuid(), localized(QStringLiteral("onboarding.group.untitled")), {}};
    m_groups << first;
    m_activeGroupID = first.id;
    beginRenamingDraftGroup(first.id);
}

void OnboardingFlow::skip()
{
    if (m_ended || m_isFinishing)
        return;
    m_ended = true;
    signal(QStringLiteral("onboarding.skipped"), {{QStringLiteral("step"), number(m_step)}});
    if (m_onSkip)
        m_onSkip();
}

void OnboardingFlow::adoptHoverModeWhenTrusted(bool granted)
{
    if (granted)
        UserDefaults::standard().setValue(interactionModeKey, QStringLiteral("hover"));
}

int OnboardingFlow::indexOfGroup(const QUuid &groupID) const
{
    for (qsizetype i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].id == groupID)
            return int(i);
    }
    return -1;
}

const DraftGroup *OnboardingFlow::activeGroup() const
{
    if (!m_activeGroupID)
        return nullptr;
    const int index = indexOfGroup(*m_activeGroupID);
    return index < 0 ? nullptr : &m_groups[index];
}

bool OnboardingFlow::isInActiveGroup(const QString &bundleID) const
{
    const DraftGroup *active = activeGroup();
    return active && active->appBundleIDs.contains(bundleID);
}

bool OnboardingFlow::isInOtherGroup(const QString &bundleID) const
{
    for (const DraftGroup &group : m_groups) {
        if ((!m_activeGroupID || group.id != *m_activeGroupID) && group.appBundleIDs.contains(bundleID))
            return true;
    }
    return false;
}

QList<DraftGroup> OnboardingFlow::nonEmptyGroups() const
{
    QList<DraftGroup> groups;
    for (const DraftGroup &group : m_groups) {
        if (!group.appBundleIDs.isEmpty())
            groups << group;
    }
    return groups;
}

int OnboardingFlow::totalApps() const
{
    int total = 0;
    for (const DraftGroup &group : m_groups)
        total += int(group.appBundleIDs.size());
    return total;
}

bool OnboardingFlow::anyDraftHasApps() const
{
    return std::any_of(m_groups.cbegin(), m_groups.cend(), [](const DraftGroup &group) { return !group.appBundleIDs.isEmpty(); });
}

QString OnboardingFlow::displayName(const DraftGroup &group)
{
    return group.name.isEmpty() ? localized(QStringLiteral("onboarding.group.untitled")) : group.name;
}

QString OnboardingFlow::previewGroupName() const
{
    for (const DraftGroup &group : m_groups) {
        if (!group.appBundleIDs.isEmpty())
            return group.name;
    }
    return m_groups.isEmpty() ? localized(QStringLiteral("onboarding.group.untitled")) : m_groups.first().name;
}

void OnboardingFlow::selectDraftGroup(const QUuid &groupID)
{
    commitPendingRename();
    m_activeGroupID = groupID;
    emit changed();
}

void OnboardingFlow::removeFromOtherGroups(const QString &bundleID, const QUuid &keepGroupID)
{
    for (DraftGroup &group : m_groups) {
        if (group.id != keepGroupID)
            group.appBundleIDs.removeAll(bundleID);
    }
}

void OnboardingFlow::toggleAppInActiveGroup(const QString &bundleID)
{
    commitPendingRename();
    if (!m_activeGroupID)
        return;
    const int index = indexOfGroup(*m_activeGroupID);
    if (index < 0)
        return;
    if (m_groups[index].appBundleIDs.contains(bundleID)) {
        m_groups[index].appBundleIDs.removeOne(bundleID);
    } else {
        removeFromOtherGroups(bundleID, *m_activeGroupID);
        m_groups[index].appBundleIDs << bundleID;
    }
    emit changed();
}

bool OnboardingFlow::assignDroppedApp(const QString &bundleID, const QUuid &groupID)
{
    commitPendingRename();
    // A drop may carry any text from any program: only an application this flow lists is taken.
    if (!acceptsDroppedApp(bundleID))
        return false;
    const int index = indexOfGroup(groupID);
    if (index < 0 || m_groups[index].appBundleIDs.contains(bundleID))
        return false;
    removeFromOtherGroups(bundleID, groupID);
    m_groups[index].appBundleIDs << bundleID;
    m_activeGroupID = groupID;
    emit changed();
    return true;
}

void OnboardingFlow::beginRenamingDraftGroup(const QUuid &groupID)
{
    // A rename still open on another draft is kept, not carried over to this one.
    if (m_editingGroupID && *m_editingGroupID != groupID)
        commitPendingRename();
    const int index = indexOfGroup(groupID);
    if (index < 0)
        return;
    m_editingGroupID = groupID;
    m_editingGroupName = m_groups[index].name;
    emit changed();
    QTimer::singleShot(focusDelayMilliseconds, this, [this, groupID] {
        if (m_editingGroupID != groupID)
            return;
        qCInfo(appLogger, "First run: renaming a draft group");
        emit renameFieldFocusRequested();
    });
}

void OnboardingFlow::commitGroupRename(const QUuid &groupID)
{
    // The text being edited belongs to the draft being edited: a late commit for another draft
    // (a field that lost its focus after the rename moved on) must not give it that text.
    if (!m_editingGroupID || *m_editingGroupID != groupID)
        return;
    const QString trimmed = m_editingGroupName.trimmed();
    const int index = indexOfGroup(groupID);
    if (index >= 0 && !trimmed.isEmpty())
        m_groups[index].name = trimmed;
    m_editingGroupID.reset();
    m_editingGroupName.clear();
    emit changed();
}

void OnboardingFlow::commitPendingRename()
{
    if (m_editingGroupID)
        commitGroupRename(*m_editingGroupID);
}

void OnboardingFlow::startCreatingGroup()
{
    if (!canAddGroup())
        return;
    m_isCreatingGroup = true;
    emit changed();
    QTimer::singleShot(focusDelayMilliseconds, this, [this] {
        if (!m_isCreatingGroup)
            return;
        qCInfo(appLogger, "First run: naming a new draft group");
        emit pendingNameFocusRequested();
    });
}

QString OnboardingFlow::limitedToCharacters(const QString &text, int limit)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++count == limit)
            return text.left(finder.position());
    }
    return text;
}

void OnboardingFlow::setPendingGroupName(const QString &name)
{
    const QString limited = limitedToCharacters(name, pendingNameLimit);
    if (limited == m_pendingGroupName)
        return;
    m_pendingGroupName = limited;
    emit changed();
}

void OnboardingFlow::createGroupFromPendingName()
{
    const QString trimmed = m_pendingGroupName.trimmed();
    if (trimmed.isEmpty() || !canAddGroup())
        return;
    const DraftGroup group{QUuid::createUuid(), trimmed, {}};
    m_groups << group;
    m_activeGroupID = group.id;
    m_pendingGroupName.clear();
    m_isCreatingGroup = false;
    qCInfo(appLogger, "First run: draft group %lld made", qlonglong(m_groups.size()));
    emit changed();
}

void OnboardingFlow::cancelCreatingGroup()
{
    m_pendingGroupName.clear();
    m_isCreatingGroup = false;
    emit changed();
}

QList<AppGroup> OnboardingFlow::groupsFromDrafts() const
{
    QList<AppGroup> made;
    for (const DraftGroup &draft : std::as_const(m_groups)) {
        if (draft.appBundleIDs.isEmpty())
            continue;
        QList<DockReader::DockApp> found;
        for (const QString &bundleID : draft.appBundleIDs) {
            if (const std::optional<DockReader::DockApp> app = dockAppForBundleID(bundleID))
                found << *app;
        }
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = draft.name.isEmpty() ? localized(QStringLiteral("onboarding.group.untitled")) : draft.name;
        group.apps = DockReader::appItemsFromDockApps(found);
        group.displayStyle = AppGroup::DisplayStyle::Grid;
        group.iconStyle = AppGroup::IconStyle::Shelf;
        made << group;
    }
    return made;
}

void OnboardingFlow::finish()
{
    if (m_isFinishing || m_ended || !m_services.groupManager || m_completion->isRunning())
        return;
    qCInfo(appLogger, "Finishing the first run with %lld draft groups", qlonglong(m_groups.size()));
    OnboardingCompletion::Finish finish;
    finish.groups = groupsFromDrafts();
    finish.groupsCreated = int(nonEmptyGroups().size());
    finish.totalApps = totalApps();
    finish.drafts = m_groups;
    finish.dockApps = m_dockApps;
    finish.runningBundleIDs = m_runningBundleIDs;
    finish.signal = m_signal;
    m_isFinishing = true;
    emit finishingChanged(true);
    m_completion->start(std::move(finish));
}

void OnboardingFlow::completeFinish()
{
    // Only a flow that shows the finish hands control back; one skipped before it began does not.
    if (m_ended || !m_isFinishing)
        return;
    m_ended = true;
    if (m_onFinish)
        m_onFinish();
}
