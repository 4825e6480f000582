#pragma once

#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/EmptyStandinDock.h"
#include "tests/app/ProgramProcess.h"
#include "tests/app/X11Windows.h"

#include <QDebug>
#include <QTest>

#include <optional>

// The real program on the test's X server beside a stand-in Dock of the test's own: started as the
// test's child with its output kept, its windows found through X, and both ended with the test.
class ProgramOnX {
public:
    static QProcessEnvironment environment() { return ProgramProcess::environment(); }

    // The program starts as after its onboarding: with the main window, not the first-run steps.
    static void skipOnboarding()
    {
        SettingsFileUserDefaults defaults(QString{});
        defaults.setValue("didCompleteOnboarding", true);
        defaults.synchronize();
    }

    // The stand-in Dock through its keeper: empty once it is up, otherwise why not.
    QString startDock(const QString &keeper, int timeoutMilliseconds) { return dock.start(keeper, timeoutMilliseconds); }

    bool start(const QString &path, const QProcessEnvironment &environment = ProgramOnX::environment(),
               std::function<void()> inChild = {})
    {
        return ProgramProcess::start(process, path, environment, std::move(inChild));
    }

    // Everything the program has written so far.
    QString output()
    {
        m_output += QString::fromUtf8(process.readAll());
        return m_output;
    }

    bool running() const { return process.state() != QProcess::NotRunning; }
    std::optional<X11Windows::Window> statusItem() { return windows.statusItemOf(process.processId()); }
    std::optional<X11Windows::Window> shownMenu() { return windows.shownMenuOf(process.processId()); }
    // The program's main window, while X shows it.
    std::optional<X11Windows::Window> mainWindow()
    {
        for (const X11Windows::Window &window : windows.all()) {
            if (window.pid == process.processId() && window.viewable && window.name == QLatin1String("Kestrowan")
                && window.geometry.width() >= 600)
                return window;
        }
        return std::nullopt;
    }

    // At the end of the test: the output shown when it failed (or KESTROWAN_TEST_SHOW_OUTPUT is
    // set), the program ended (asked to quit first, unless `askFirst` is false) and the Dock stopped.
    void end(int timeoutMilliseconds, bool askFirst = true)
    {
        if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("KESTROWAN_TEST_SHOW_OUTPUT"))
            qInfo().noquote() << "The program's output:\n" << output();
        if (running()) {
            if (askFirst)
                process.terminate();
            if (!askFirst || !process.waitForFinished(timeoutMilliseconds))
                process.kill();
            process.waitForFinished(timeoutMilliseconds);
        }
        dock.stop();
    }

    QProcess process;
    EmptyStandinDock dock;
    X11Windows windows;

private:
    QString m_output;
};
