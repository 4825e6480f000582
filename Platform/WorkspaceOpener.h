#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

// What became of one request to open something.
struct OpenOutcome {
    bool opened = false;
    QString error; // why it could not be opened; empty when it was
    // The application runs in a terminal and this desktop has none to run it in.
    bool needsTerminal = false;
    // Handed to the desktop's own opener, which tells later whether anything opened; until then
    // the request is neither opened nor failed.
    bool pending = false;
};

// Called once with the final outcome of a request that was pending, on the thread that asked.
using OpenCompletion = std::function<void(const OpenOutcome &)>;

// Opens documents, folders, web links and applications the way the desktop does. An application
// is named by its bundle path (a ".desktop" entry or an ".app" bundle folder).
class WorkspaceOpener {
public:
    virtual ~WorkspaceOpener() = default;

    static WorkspaceOpener &shared();
    // Replaces the process-wide opener; nullptr goes back to this machine's.
    static void install(std::unique_ptr<WorkspaceOpener> opener);

    // Opens `url` with the application at `application`, or, without one, the desktop's own way:
    // an application URL starts that application, anything else goes to its default application.
    // `activate` false asks that the application not be brought to the front. Returns once the
    // request was handed over (or refused); it never waits for the application. When the outcome
    // is pending, `settled` gets the final one later; it is never called otherwise.
    virtual OpenOutcome open(const QUrl &url, const std::optional<QString> &application, bool activate,
                             OpenCompletion settled) = 0;
    OpenOutcome open(const QUrl &url, const std::optional<QString> &application, bool activate)
    {
        return open(url, application, activate, {});
    }
};
