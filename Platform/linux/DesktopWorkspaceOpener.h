#pragma once

#include "Platform/WorkspaceOpener.h"

#include <QStringList>

// Opens through desktop entries: an application's "Exec" command (or an ".app" bundle's executable)
// with the item as its argument, the default application from "mimeapps.list" for documents and
// links, and xdg-open only where the desktop names none. Applications run detached, as argument
// lists, and count as opened once started. xdg-open's start says nothing (it fails afterwards when
// it finds no handler), so its request is pending until it exits: opened on status 0, failed
// otherwise; one still running after `foregroundHandlerGrace` has found a handler that it waits for
// (its generic mode runs the handler in the foreground) and counts as opened. A new process is
// brought to the front by the window manager; `activate` false cannot hold it back.
class DesktopWorkspaceOpener final : public WorkspaceOpener {
public:
    static constexpr int foregroundHandlerGrace = 4000; // milliseconds

    using WorkspaceOpener::open;
    OpenOutcome open(const QUrl &url, const std::optional<QString> &application, bool activate,
                     OpenCompletion settled) override;

    // The command that starts the application at `applicationPath` on `targets`; empty when the
    // application cannot be started (no entry, no executable, no terminal for an entry that runs in
    // one). An entry with "Terminal=true" runs inside the desktop's terminal.
    static QStringList applicationCommand(const QString &applicationPath, const QList<QUrl> &targets);
    // The desktop's terminal as a command that runs the program after it: "$TERMINAL -e" when that
    // names a program, else "x-terminal-emulator -e"; empty when there is none.
    static QStringList terminalCommand();
};
