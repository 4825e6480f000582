// The stand-in Dock: the bar, its Accessibility tree and the pointer's event taps, served on a
// local socket. Run it under dock-keeper, which starts it again whenever it ends.

#include "Platform/FreedMemory.h"
#include "Platform/codecs/PictureBytes.h"
#include "Platform/dockstandin/DockAccessibilityState.h"
#include "Platform/dockstandin/DockController.h"
#include "Platform/dockstandin/DockServer.h"
#include "Platform/dockstandin/PointerWatcher.h"
#include "Platform/dockstandin/RunningApplicationsFile.h"
#include "Platform/dockstandin/SessionBusAddress.h"
#include "Platform/dockstandin/TapClientsFile.h"
#include "Platform/dockstandin/TapHub.h"
#include "Platform/dockstandin/TrayStrip.h"
#include "Platform/dockstandin/X11Struts.h"
#include "Platform/dockstandin/wire/DockWire.h"

#include <QApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QThread>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

// A Dock restart and the keeper end the Dock with SIGTERM; it quits through the event loop so that it
// gives back the work area and its socket.
void quitOnTerminationSignals(QApplication &app)
{
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QApplication::quit);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    SessionBusAddress::pinForThisProcess();
    // The tiles' pictures come in from the icon helper one after another, each held for a moment.
    FreedMemory::keepForReuse();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Dock"));
    app.setQuitOnLastWindowClosed(false);
    qRegisterMetaType<CGEvent>();
    qRegisterMetaType<CGEventTapLocation>();
    quitOnTerminationSignals(app);
    // Icons that running programs send are decoded here: no one of them may cost more than this.
    PictureBytes::capLibraryAllocations();

    const QString path = DockWire::socketPath();
    if (DockServer::anotherDockAnswers(path))
        return 3;

    DockAccessibilityState state;
    QThread serverThread;
    serverThread.setObjectName(QStringLiteral("DockServer"));
    auto *server = new DockServer(&state, QCoreApplication::applicationPid());
    TapHub taps([server](quint64 client, const QByteArray &frame) { server->sendToClient(client, frame); });
    server->setTapHub(&taps);
    server->setCopyDelay(qBound(0, qEnvironmentVariableIntValue("KESTROWAN_DOCK_COPY_DELAY_MS"), 10000));
    server->moveToThread(&serverThread);
    serverThread.start();

    DockController controller{DockTilesFile(), &state, &taps, server};
    QObject::connect(server, &DockServer::eventPosted, &controller, &DockController::postedEvent);
    QObject::connect(server, &DockServer::promptRequested, &controller, &DockController::promptRequested);
    QObject::connect(server, &DockServer::regularClientChanged, &controller, &DockController::regularClientChanged);
    QObject::connect(server, &DockServer::regularClientGone, &controller, &DockController::regularClientGone);
    QObject::connect(server, &DockServer::activeTapInstalled, &controller, &DockController::tapProgramCame);
    QObject::connect(server, &DockServer::copySent, &controller, &DockController::tapProgramCame);
    QObject::connect(server, &DockServer::programLetGo, &controller, &DockController::tapProgramCame);
    // Where the display has no tray, the Dock also plays the menu bar that shows status items.
    TrayStrip menuBar;
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        if (menuBar.start(screen->geometry()))
            X11Struts::setMenuBarHeight(TrayStrip::height);
    }
    // The tree is laid out before the first client can ask for it, and before anything shows, with
    // the tiles of the running applications that are on their way back.
    const QList<RunningApplicationsFile::Application> running =
        RunningApplicationsFile(RunningApplicationsFile::besideSocket(path)).stillRunning();
    server->setExpectedApplications(running);
    controller.start(running);
    // Read before this Dock listens, and so before it keeps its own clients' taps in that file; the
    // wait counts from about when it listens.
    QList<qint64> tapPrograms;
    QList<qint64> copyKeepers;
    const QList<TapClientsFile::Client> awaited = TapClientsFile(TapClientsFile::besideSocket(path)).stillRunning();
    server->setAwaitedPrograms(awaited);
    for (const TapClientsFile::Client &client : awaited) {
        tapPrograms.append(client.processIdentifier);
        if (client.keepsCopy)
            copyKeepers.append(client.processIdentifier);
    }
    taps.awaitTaps(tapPrograms, TapHub::restartWaitMilliseconds, copyKeepers);

    bool listening = false;
    QMetaObject::invokeMethod(server, [server, path] { return server->listen(path); }, Qt::BlockingQueuedConnection,
                              &listening);
    if (!listening) {
        controller.shutdown();
        QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();
        return 3;
    }

    // Only now does the bar show and take its screen area: whoever follows that change finds
    // this Dock answering.
    controller.beginServing();

    PointerWatcher pointer;
    QObject::connect(&pointer, &PointerWatcher::pointerChanged, &controller, &DockController::pointerChanged);
    pointer.start();

    const int status = app.exec();

    pointer.stop();
    controller.shutdown();
    QMetaObject::invokeMethod(server, [server] {
        server->stop();
        delete server;
    }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return status;
}
