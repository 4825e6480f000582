#include "tests/app/EmptyStandinDock.h"

#include "Platform/dockstandin/wire/TrustStore.h"
#include "tests/standin/DockPreferencesWriter.h"

#include <QDir>
#include <QTest>

#include <csignal>
#include <sys/prctl.h>

QString EmptyStandinDock::start(const QString &keeperProgram, int timeoutMilliseconds)
{
    writeDockPreferences(QDir::homePath() + "/Library/Preferences/com.apple.dock.plist", "bottom", false, {}, {});
    if (!TrustStore::grant(TrustStore::executableOfThisProcess()))
        return QStringLiteral("could not grant this process Accessibility access");
    m_keeper.setProgram(keeperProgram);
    m_keeper.setProcessChannelMode(QProcess::ForwardedChannels);
    // Left running after a crash, the keeper and its Dock would keep CTest waiting on the output.
    m_keeper.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_keeper.start();
    if (!m_keeper.waitForStarted())
        return QStringLiteral("the keeper did not start");
    if (!QTest::qWaitFor([this] { return tiles.dockProcess().has_value(); }, timeoutMilliseconds))
        return QStringLiteral("no Dock came up");
    tiles.setDock(*tiles.dockProcess());
    return {};
}

void EmptyStandinDock::stop()
{
    if (m_keeper.state() == QProcess::NotRunning)
        return;
    m_keeper.terminate();
    if (!m_keeper.waitForFinished(20000)) {
        m_keeper.kill();
        m_keeper.waitForFinished();
    }
}
