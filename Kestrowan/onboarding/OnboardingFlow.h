#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/DockReader.h"
#include "Kestrowan/onboarding/DraftGroup.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>

#include <functional>
#include <optional>

class GroupManager;
class OnboardingCompletion;
class PermissionManagerInterface;
class SkinManager;

// The state of the first-run flow and everything it does with it: the five steps, the draft groups,
// the renames, the assignments by click and by drop, and the finish that turns the drafts into
// stored groups. Nothing reaches the group store before the finish. The views only read this and
// call its operations.
class OnboardingFlow final : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void()>;
    using SignalSink = std::function<void(const QString &name, const QMap<QString, QString> &parameters)>;

    static constexpr int totalSteps = 5;
    static constexpr int lastStep = totalSteps - 1;
    static constexpr int maxDraftGroups = 2;
    static constexpr int pendingNameLimit = 30;
    static inline const QString interactionModeKey = QStringLiteral("interactionMode");

    struct Services {
        GroupManager *groupManager = nullptr;
        SkinManager *skinManager = nullptr;
        PermissionManagerInterface *permissionManager = nullptr;
        // The application's, which outlives the window; a flow given none keeps one of its own.
        OnboardingCompletion *completion = nullptr;
    };

    // While the completion runs a finish (begun in a window since closed), the flow shows that
    // finish under way on its last step instead of starting over.
    OnboardingFlow(Services services, Action onFinish, Action onSkip, QObject *parent = nullptr);

    // Usage signals go to the analytics facade unless a test listens instead.
    void setSignalSink(SignalSink sink) { m_signal = std::move(sink); }

    // What the flow does when it comes on screen: the started event, then the Dock's applications
    // with the running ones first.
    void appear();
    void setDockApps(const QList<DockReader::DockApp> &dockApps, const QSet<QString> &runningBundleIDs);
    // Both passes keep the Dock's order; nothing is dropped or merged.
    static QList<DockReader::DockApp> runningFirst(const QList<DockReader::DockApp> &dockApps,
                                                   const QSet<QString> &runningBundleIDs);

    const QList<DockReader::DockApp> &dockApps() const { return m_dockApps; }
    const QSet<QString> &runningBundleIDs() const { return m_runningBundleIDs; }
    std::optional<DockReader::DockApp> dockAppForBundleID(const QString &bundleID) const;

    // Steps.
    int step() const { return m_step; }
    void setStep(int step);
    void stepBack() { setStep(m_step - 1); }
    void stepForward() { setStep(m_step + 1); }
    void skip();

    // Draft groups.
    const QList<DraftGroup> &groups() const { return m_groups; }
    std::optional<QUuid> activeGroupID() const { return m_activeGroupID; }
    const DraftGroup *activeGroup() const;
    bool isInActiveGroup(const QString &bundleID) const;
    bool isInOtherGroup(const QString &bundleID) const;
    bool canAddGroup() const { return m_groups.size() < maxDraftGroups; }
    QList<DraftGroup> nonEmptyGroups() const;
    int totalApps() const;
    bool anyDraftHasApps() const;
    // The name the popup preview shows.
    QString previewGroupName() const;
    // A draft's name as shown: the untitled text for an empty one.
    static QString displayName(const DraftGroup &group);

    void selectDraftGroup(const QUuid &groupID);
    void toggleAppInActiveGroup(const QString &bundleID);
    // False when nothing changed: an unknown group, an application the flow does not list, or one
    // the group already holds.
    bool assignDroppedApp(const QString &bundleID, const QUuid &groupID);
    // Whether a drop naming this text can be taken at all.
    bool acceptsDroppedApp(const QString &bundleID) const { return dockAppForBundleID(bundleID).has_value(); }

    // Renaming.
    std::optional<QUuid> editingGroupID() const { return m_editingGroupID; }
    QString editingGroupName() const { return m_editingGroupName; }
    void beginRenamingDraftGroup(const QUuid &groupID);
    void setEditingGroupName(const QString &name) { m_editingGroupName = name; }
    void commitGroupRename(const QUuid &groupID);
    void commitPendingRename();

    // The new-group name card.
    bool isCreatingGroup() const { return m_isCreatingGroup; }
    QString pendingGroupName() const { return m_pendingGroupName; }
    bool canSavePendingName() const { return !m_pendingGroupName.trimmed().isEmpty(); }
    void startCreatingGroup();
    void setPendingGroupName(const QString &name);
    void createGroupFromPendingName();
    void cancelCreatingGroup();
    // The first `limit` characters as the user sees them: never half an emoji or a letter without
    // its accents.
    static QString limitedToCharacters(const QString &text, int limit);

    // The finish: drafts become groups, one save, one batch sync to the Dock, then onFinish. The
    // completion carries it out, so that it ends whatever becomes of this flow. A second press while
    // it runs does nothing, and neither does skipping: the first run is being finished.
    void finish();
    bool isFinishing() const { return m_isFinishing; }

signals:
    void stepChanged(int from, int to);
    // Anything else of the state changed.
    void changed();
    void finishingChanged(bool finishing);
    // The rename field or the new-group field should take the keyboard focus.
    void renameFieldFocusRequested();
    void pendingNameFocusRequested();

private:
    void signal(const QString &name, const QMap<QString, QString> &parameters = {}) const;
    void handleStepChange(int from, int to);
    void adoptHoverModeWhenTrusted(bool granted);
    QList<AppGroup> groupsFromDrafts() const;
    void completeFinish();
    int indexOfGroup(const QUuid &groupID) const;
    void removeFromOtherGroups(const QString &bundleID, const QUuid &keepGroupID);

    Services m_services;
    OnboardingCompletion *m_completion;
    Action m_onFinish;
    Action m_onSkip;
    SignalSink m_signal;

    int m_step = 0;
    QList<DockReader::DockApp> m_dockApps;
    QSet<QString> m_runningBundleIDs;
    QList<DraftGroup> m_groups;
    std::optional<QUuid> m_activeGroupID;
    bool m_isCreatingGroup = false;
    QString m_pendingGroupName;
    std::optional<QUuid> m_editingGroupID;
    QString m_editingGroupName;
    bool m_isFinishing = false;
    // Set once onFinish or onSkip ran: the flow is over and does nothing more.
    bool m_ended = false;
};
