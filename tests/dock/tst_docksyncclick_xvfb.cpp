// The first click after a Sync All that restarts the Dock, with the real program beside the stand-in
// Dock on a real X server: a group renamed by the other program on the home, Sync All pressed in the
// window, and the group's tile clicked at the new Dock's first frame. The click opens the popup,
// never the folder, many times in a row, on an idle machine and beside busy processes.

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "tests/app/ProgramProcess.h"
#include "tests/app/SyncAllButton.h"
#include "tests/app/X11Windows.h"
#include "tests/dock/ProgramGroups.h"
#include "tests/dock/ProgramWindows.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/dock/TrialRows.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/BusyProcesses.h"
#include "tests/support/StoppedProcess.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QSaveFile>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>

#include <csignal>

using namespace ProgramWindows;

class TestDockSyncClickXvfb : public QObject {
    Q_OBJECT

private:
    StandinDockSession m_dock;
    XTestPointer m_pointer;
    QProcess m_program;
    QStringList m_log;
    QList<AppGroup> m_groups;
    int m_renames = 0;

    QImage screen() const { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

    std::optional<X11Windows::Window> mainWindow() const
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.pid == m_program.processId() && window.viewable && window.name == QLatin1String("Kestrowan")
                && window.geometry.width() >= 600)
                return window;
        }
        return std::nullopt;
    }

    // Sync All's label, once it stands still.
    QRect syncAllLabel()
    {
        std::optional<X11Windows::Window> window;
        if (!QTest::qWaitFor([&] { return (window = mainWindow()).has_value(); }, roadTimeout))
            return {};
        QRect label;
        const bool found = QTest::qWaitFor([&] {
            const QRect first = SyncAllButton::label(screen(), window->geometry);
            label = SyncAllButton::label(screen(), window->geometry);
            return label == first && SyncAllButton::isLabelSized(label);
        }, roadTimeout);
        return found ? label : QRect();
    }

    // The other program on the home renames the Play group and saves; this one takes it in.
    bool renamePlayElsewhere()
    {
        const qsizetype from = m_log.size();
        m_groups[1].name = QStringLiteral("Play %1").arg(++m_renames);
        QSaveFile file(m_dock.home + QStringLiteral("/.local/share/Kestrowan/groups.json"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QJsonDocument(AppGroup::listToJson(m_groups)).toJson());
        if (!file.commit())
            return false;
        return QTest::qWaitFor([&] {
            return !m_log.mid(from).filter(QStringLiteral("Took in the groups another program saved")).isEmpty();
        }, roadTimeout);
    }

    // A viewable window at the point of a Dock other than `previous`: the new bar's first frame.
    bool newBarShowsAt(const QPoint &point, qint64 previous) const
    {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.viewable && window.pid != previous && window.pid != m_program.processId() && window.pid > 0
                && !window.overrideRedirect && window.geometry.contains(point) && window.geometry.height() < 200)
                return true;
        }
        return false;
    }

    // Sync All, then a click on the Play tile the moment the new Dock's bar shows; empty when the
    // popup opened and the Dock opened nothing, else what went wrong. With `programLate`, the
    // program is stopped from the moment the new Dock listens until the press is made, so that the
    // Dock holds the press for the program's tap and hands it over the moment the tap is back: the
    // program hears of the new Dock, and applies its mode again, in the same moment.
    QString clickAtTheFirstFrame(const QString &what, bool programLate = false)
    {
        const qsizetype from = m_log.size();
        const auto printOnFailure = qScopeGuard([&] {
            if (m_dock.opened().isEmpty())
                return;
            for (const QString &line : m_log.mid(from))
                qInfo("program: %s", qPrintable(line));
            QFile dockLog(m_dock.requestLog);
            if (dockLog.open(QIODevice::ReadOnly)) {
                const QList<QByteArray> lines = dockLog.readAll().split('\n');
                for (const QByteArray &line : lines.mid(std::max<qsizetype>(0, lines.size() - 60)))
                    qInfo("Dock: %s", line.constData());
            }
        });
        if (!renamePlayElsewhere())
            return what + QStringLiteral(": the rename was not taken in");
        std::optional<DockItemInfo> play;
        for (const DockItemInfo &tile : DockPositionResolver::readDockItems()) {
            if (tile.title.startsWith(QStringLiteral("Play")))
                play = tile;
        }
        if (!play)
            return what + QStringLiteral(": no Play tile before the sync");
        const QRect tile = play->frame.toRect();
        const std::optional<qint64> before = DockPositionResolver::dockProcessID();
        if (!before)
            return what + QStringLiteral(": no Dock");
        // The keeper starts a Dock that ended within two seconds of its start later, as one that
        // keeps crashing.
        QTest::qWait(TrialRows::keeperQuickExit);
        QFile::remove(m_dock.openLog);
        const QRect label = syncAllLabel();
        if (label.isEmpty())
            return what + QStringLiteral(": no Sync All button");
        m_pointer.click(label.center());
        // Looked for without the event loop, a millisecond apart: the click lands on the first frame.
        QElapsedTimer since;
        since.start();
        if (programLate) {
            while (StandinDockSession::listeningDockOtherThan(*before) == 0 && !since.hasExpired(roadTimeout))
                QThread::usleep(200);
            if (!StoppedProcess::stop(m_program.processId()))
                return what + QStringLiteral(": the program could not be stopped");
        }
        while (!newBarShowsAt(tile.center(), *before) && !since.hasExpired(roadTimeout))
            QThread::usleep(500);
        if (since.hasExpired(roadTimeout)) {
            ::kill(pid_t(m_program.processId()), SIGCONT);
            return what + QStringLiteral(": no new Dock bar came");
        }
        m_pointer.move(tile.center());
        m_pointer.press();
        if (programLate)
            ::kill(pid_t(m_program.processId()), SIGCONT);
        m_pointer.release();
        const bool shown = waitForPopupBeside(m_program.processId(), tile, roadTimeout);
        QString failure;
        if (!m_dock.opened().isEmpty())
            failure = what + QStringLiteral(": the click reached the Dock, which opened %1").arg(m_dock.opened().join(u' '));
        else if (!shown)
            failure = what + QStringLiteral(": no popup beside the tile at %1").arg(describe(tile));
        if (shown) {
            m_pointer.click(tile.center());
            if (!waitForNoPopupBeside(m_program.processId(), tile))
                failure += what + QStringLiteral(": the popup stayed");
        }
        m_pointer.move(QPoint(5, 5));
        return failure;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_pointer.isValid(), "needs an X server");
        const QString programPath = QFileInfo(QStringLiteral(KESTROWAN_PROGRAM)).canonicalFilePath();
        QVERIFY(TrustStore::grant(programPath));
        m_groups = ProgramGroups::writeWorkAndPlay(m_dock.home);
        QCOMPARE(m_groups.size(), 2);
        m_dock.writePreferences(QStringLiteral("bottom"), false, {m_dock.makeApplication(QStringLiteral("Alpha"))}, {});
        m_dock.requestLog = m_dock.home + QStringLiteral("/dock.log");
        QVERIFY(m_dock.start() > 0);
        collectOutput(m_program, m_log);
        QVERIFY(ProgramProcess::start(m_program, QStringLiteral(KESTROWAN_PROGRAM), interactionStart(QStringLiteral("click"), true)));
        QVERIFY(QTest::qWaitFor([&] { return !m_log.filter(QStringLiteral("Runtime bootstrap complete")).isEmpty(); }, roadTimeout));
        QTRY_COMPARE_WITH_TIMEOUT(int(m_log.filter(QStringLiteral("Startup recovery pass at")).size()), 2, roadTimeout);
        // The first Sync All puts both groups in the Dock.
        const QRect label = syncAllLabel();
        QVERIFY(!label.isEmpty());
        m_pointer.click(label.center());
        QTRY_VERIFY_WITH_TIMEOUT(tileOf(QStringLiteral("Play")).has_value(), roadTimeout);
        m_pointer.move(QPoint(5, 5));
    }

    void cleanupTestCase()
    {
        if (QTest::currentTestFailed()) {
            for (const QString &line : std::as_const(m_log))
                qInfo("program: %s", qPrintable(line));
        }
        stopProgram(m_program);
    }

    // KESTROWAN_SYNCCLICK_TRIALS sets how many under each load.
    void aClickAtTheFirstFrameAfterSyncAllOpensThePopup_data()
    {
        TrialRows::addTrialRows({0, 8}, TrialRows::trialCount("KESTROWAN_SYNCCLICK_TRIALS", 10));
    }

    void aClickAtTheFirstFrameAfterSyncAllOpensThePopup()
    {
        QFETCH(int, busy);
        QFETCH(int, first);
        QFETCH(int, trials);
        BusyProcesses load;
        load.start(busy);
        QStringList failures;
        for (int trial = first; trial < first + trials; ++trial) {
            const QString failure = clickAtTheFirstFrame(QStringLiteral("%1 busy processes, click %2").arg(busy).arg(trial));
            if (!failure.isEmpty())
                failures.append(failure);
        }
        qInfo("%s: %d of %d clicks at the first frame opened the popup and nothing in the Dock", QTest::currentDataTag(),
              int(trials - failures.size()), trials);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    }

    // The program late to hear of the new Dock (busy, or stopped for a moment): the press the Dock
    // held for it reaches it as it applies its mode again, and is its click all the same.
    void aClickHeldForAProgramLateToTheNewDockIsItsClick_data()
    {
        TrialRows::addTrialRows({0}, std::max(TrialRows::trialCount("KESTROWAN_SYNCCLICK_TRIALS", 10) / 2, 1));
    }

    void aClickHeldForAProgramLateToTheNewDockIsItsClick()
    {
        QFETCH(int, first);
        QFETCH(int, trials);
        QStringList failures;
        for (int trial = first; trial < first + trials; ++trial) {
            const QString failure = clickAtTheFirstFrame(QStringLiteral("program late, click %1").arg(trial), true);
            if (!failure.isEmpty())
                failures.append(failure);
        }
        qInfo("%s: %d of %d clicks held for a late program opened the popup and nothing in the Dock",
              QTest::currentDataTag(), int(trials - failures.size()), trials);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("; "))));
    }
};

KESTROWAN_TEST_MAIN(TestDockSyncClickXvfb)
#include "tst_docksyncclick_xvfb.moc"
