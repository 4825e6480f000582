#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

// The Dock uses no D-Bus, yet Qt's accessibility bridge asks for the session bus as the event loop
// starts. Where the environment names no bus (a bare X server, as on a test or build machine),
// libdbus "autolaunches" one: it forks from Qt's D-Bus thread while the Dock's other threads run.
// A child that then needs a lock one of those threads held at the fork (the sanitizers' allocator
// lock, for one) never reaches exec, and the Dock's main thread waits for it forever, before its
// event loop runs, deaf even to SIGTERM.
class SessionBusAddress {
public:
    // When no address is set, names the user's standard bus socket, which libdbus would try first
    // anyway: it connects there when a bus runs, and fails at once instead of forking when none
    // does. Call first in main, before any thread starts.
    static void pinForThisProcess();

    // The environment the Dock was started with, for the programs it opens: they decide for
    // themselves how to find a bus.
    static QProcessEnvironment launchEnvironment();

    // "unix:path=<runtime dir>/bus", escaped as D-Bus addresses need.
    static QByteArray standardAddress(const QString &runtimeDirectory);
};
