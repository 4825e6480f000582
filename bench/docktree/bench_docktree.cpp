// A keystroke in the group editor beside a full Dock, in hover mode: the store takes the change and
// the hover service follows the groups, with the Dock's 200 tiles served by the stand-in Dock's own
// socket server (on a thread of this process, as it runs in the Dock) and read through the program's
// own Accessibility adapter. Also the 80 ms selection poll of an idle Dock.

#include "Kestrowan/dock/DockSelectionObserver.h"
#include "Kestrowan/dock/HoverService.h"
#include "Kestrowan/dock/PermissionManager.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Platform/DockPreferences.h"
#include "Platform/dockstandin/DockAccessibilityState.h"
#include "Platform/dockstandin/DockServer.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "bench/support/BenchGroups.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "tests/dock/FakePopupPresenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

namespace {

constexpr int tileCount = 200;

// The stand-in Dock's tree and socket, with `tileCount` tiles of which the last two are groups'.
class ServedDock {
public:
    explicit ServedDock(const QStringList &groupFolders)
    {
        qputenv("KESTROWAN_DOCK_SOCKET", QFile::encodeName(m_folder.path() + QStringLiteral("/dock.sock")));
        // The connections to the Dock of a run before learn that it has gone.
        QCoreApplication::processEvents();
        QList<AccessibleTile> tiles;
        for (int i = 0; i < tileCount; ++i) {
            const bool group = i >= tileCount - groupFolders.size();
            const QString path = group ? groupFolders.at(i - (tileCount - groupFolders.size()))
                                       : QStringLiteral("/usr/share/applications/app%1.desktop").arg(i);
            tiles.append({DockWire::firstTileIdentifier + quint64(i), QFileInfo(path).completeBaseName(),
                          group ? QStringLiteral("AXFolderDockItem") : QStringLiteral("AXApplicationDockItem"), path,
                          QRectF(4 + i * 6, 840, 6, 56)});
        }
        m_state.setTiles(tiles, QRectF(0, 836, 1280, 64), true);
        m_server = new DockServer(&m_state, 4242);
        m_server->moveToThread(&m_thread);
        m_thread.start();
        QMetaObject::invokeMethod(m_server, [this] { return m_server->listen(qEnvironmentVariable("KESTROWAN_DOCK_SOCKET")); },
                                  Qt::BlockingQueuedConnection, &m_listening);
    }

    ~ServedDock()
    {
        QMetaObject::invokeMethod(m_server, [this] {
            m_server->stop();
            delete m_server;
        }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    bool isListening() const { return m_listening; }

private:
    QTemporaryDir m_folder;
    DockAccessibilityState m_state;
    QThread m_thread;
    DockServer *m_server = nullptr;
    bool m_listening = false;
};

struct KeyPath {
    // Granted before the permission manager first looks.
    const bool trusted = TrustStore::grant(TrustStore::executableOfThisProcess());
    QTemporaryDir storage;
    GroupManager manager{storage.path(), storage.path() + QStringLiteral("/Groups")};
    QStringList folders;
    std::unique_ptr<ServedDock> dock;
    PermissionManager permission;
    std::unique_ptr<HoverService> service;
    AppGroup typedInto;

    KeyPath()
    {
        QList<AppGroup> groups;
        QVariantList others;
        for (int g = 0; g < 2; ++g) {
            const AppGroup group = benchGroupWithMirrorFolder(manager, QStringLiteral("Group %1").arg(g));
            const QString folder = manager.groupsDirectory() + u'/' + group.name;
            folders.append(folder);
            groups.append(group);
            others.append(DockService::folderTile(QUrl::fromLocalFile(folder + u'/'), group.name, AppGroup::DisplayStyle::Grid));
        }
        DockPreferences::shared().write(QStringLiteral("persistent-others"), others);
        manager.setGroups(groups);
        typedInto = groups.first();
        dock = std::make_unique<ServedDock>(folders);
        service = std::make_unique<HoverService>(&manager, &permission, nullptr, nullptr, std::make_unique<FakePopupPresenter>(nullptr));
        // As the shell does: every change of the groups reaches the hover service.
        QObject::connect(&manager, &GroupManager::groupsChanged, service.get(), [this] { service->refreshTracking(); });
        service->setMode(InteractionMode::Hover);
    }
};

void BM_KeystrokeBesideAFullDock(benchmark::State &state)
{
    KeyPath path;
    if (!path.dock->isListening() || !path.service->dockSelectionObserver().isObserving())
        return state.SkipWithError("the Dock's socket is not answering");
    QString typed;
    for (auto _ : state) {
        typed.append(QChar(char16_t(u'a' + typed.size() % 26)));
        path.typedInto.customOpenerPath = typed;
        path.manager.updateGroup(path.typedInto);
        QCoreApplication::processEvents();
    }
    path.manager.waitUntilSaved();
}
BENCHMARK(BM_KeystrokeBesideAFullDock)->Unit(benchmark::kMillisecond);

void BM_IdleSelectionPoll(benchmark::State &state)
{
    KeyPath path;
    DockSelectionObserver &observer = path.service->dockSelectionObserver();
    if (!path.dock->isListening() || !observer.isObserving())
        return state.SkipWithError("the Dock's socket is not answering");
    for (auto _ : state)
        observer.refreshSelection(false);
}
BENCHMARK(BM_IdleSelectionPoll)->Unit(benchmark::kMicrosecond);

} // namespace
