#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/DockReader.h"
#include "Kestrowan/onboarding/DraftGroup.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>

#include <functional>
#include <optional>

class GroupManager;
class PermissionManagerInterface;
class SkinManager;
class UserDefaults;

// The end of the first run once the user pressed its last button: the new groups stored, one save,
// one batch sync to the Dock, hover mode when Accessibility access is granted, the completion event,
// and the first run marked done. It belongs to the application, not to the window: the Dock's
// restart can take half a minute, and closing the window meanwhile must neither lose the finish (the
// first run would come back and add the same groups again) nor let a window opened meanwhile start
// the first run over. Runs on the main thread.
class OnboardingCompletion final : public QObject {
    Q_OBJECT
public:
    using SignalSink = std::function<void(const QString &name, const QMap<QString, QString> &parameters)>;

    struct Services {
        GroupManager *groupManager = nullptr;
        SkinManager *skinManager = nullptr;
        PermissionManagerInterface *permissionManager = nullptr;
    };

    // One finish: what it stores and reports, and what the flow showed when it was started, so that
    // a window opened before it ends shows the same.
    struct Finish {
        QList<AppGroup> groups;
        int groupsCreated = 0;
        int totalApps = 0;
        QList<DraftGroup> drafts;
        QList<DockReader::DockApp> dockApps;
        QSet<QString> runningBundleIDs;
        SignalSink signal;
    };

    explicit OnboardingCompletion(Services services, QObject *parent = nullptr);
    // Quitting before the Dock answered: the groups are stored already, so the first run is over
    // all the same, and is written so before the program ends; the next start must not offer it
    // again.
    ~OnboardingCompletion() override;

    // A start after a finish that the program's end cut short (killed, a power cut): the first run
    // counts as finished, since its groups may be stored, and is not offered again.
    static void settleInterruptedFinish(UserDefaults &defaults);

    bool isRunning() const { return m_running.has_value(); }
    // The finish under way, if any.
    const std::optional<Finish> &running() const { return m_running; }
    // Starts a finish; false, and nothing done, while one runs.
    bool start(Finish finish);

signals:
    // The finish is done. The windows that show the flow hand control back to the main window now;
    // the first run is marked done right after, also when no window is left to do it.
    void completed();

private:
    // Once the finish is recorded on disk: the new groups stored and saved, then the Dock sync.
    void storeGroups();
    void complete();
    void markFirstRunDone();

    Services m_services;
    std::optional<Finish> m_running;
    bool m_groupsStored = false;
};
