// A first start on an empty home, driven by hand through XTest beside the stand-in Dock: the
// onboarding comes up in place of the grid, two groups are drafted, and the finish leaves them in
// "groups.json" and in the Dock; the next start opens the grid. However the program ends once the
// last button is pressed (Ctrl+Q at once, kill -9 while the Dock restarts), the next start neither
// offers the first run again nor holds its groups twice.

#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/PropertyList.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/StandinDockTiles.h"
#include "tests/app/X11Windows.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <QDir>
#include <QSet>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int timeout = 20000;

// The onboarding's fixed frame is centred in the 620 by 540 main window; these points are in the
// frame's coordinates.
constexpr QPoint frameOrigin((620 - 560) / 2, (540 - 480) / 2);
constexpr QPoint forwardButton(495, 427);
constexpr QPoint firstChip(100, 130);
constexpr QPoint secondChip(228, 130);
constexpr QPoint thirdChip(100, 172);
constexpr QPoint addGroupButton(432, 350);

} // namespace

class TestOnboardingXvfb : public QObject {
    Q_OBJECT
private:
    StandinDockSession m_dock;
    StandinDockTiles m_tiles;
    X11Windows m_windows;
    QProcess m_program;
    QString m_output;
    qsizetype m_outputStart = 0;
    int m_finishes = 0;
    QStringList m_apps;

    // What the program printed since its last start.
    QString output()
    {
        if (m_program.isOpen())
            m_output += QString::fromUtf8(m_program.readAll());
        return m_output.mid(m_outputStart);
    }

    std::optional<X11Windows::Window> mainWindow()
    {
        for (const X11Windows::Window &window : m_windows.all()) {
            if (window.pid == m_program.processId() && window.name == "Kestrowan" && window.viewable && window.geometry.width() >= 600)
                return window;
        }
        return std::nullopt;
    }

    void startProgram()
    {
        output();
        m_outputStart = m_output.size();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_LOGGING_RULES", "com.kestrowan.*=true");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        m_program.setProgram(QStringLiteral(KESTROWAN_PROGRAM));
        m_program.setProcessEnvironment(environment);
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_program.start();
        QVERIFY(m_program.waitForStarted());
    }

    void stopProgram()
    {
        m_program.terminate();
        if (!m_program.waitForFinished(timeout)) {
            m_program.kill();
            m_program.waitForFinished();
        }
    }

    QJsonArray storedGroups() const
    {
        QFile file(appSupportDirectoryURL() + QStringLiteral("/groups.json"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).array();
    }

    QStringList folderTiles()
    {
        // The sync restarts the Dock: ask the one running now.
        if (const std::optional<qint64> dock = m_tiles.dockProcess())
            m_tiles.setDock(*dock);
        QStringList folders;
        for (const QString &tile : m_tiles.tiles()) {
            if (tile.endsWith(QLatin1String("(AXFolderDockItem)")))
                folders << tile;
        }
        return folders;
    }

    // Clicks the main window's forward button, again until the program says `line`.
    bool forwardUntil(XTestPointer &pointer, const QString &line)
    {
        // The welcome page's button takes clicks once the window has settled and the page has come
        // in, which a cold sanitizer build can take seconds to do: a person clicks again until the
        // next page shows. A click taken late has moved the flow on all the same: clicked again
        // only while no page has come since.
        const auto pages = [this] {
            const QString said = output();
            return said.count(QStringLiteral("First run: step")) + said.count(QStringLiteral("Finishing the first run"))
                + said.count(QStringLiteral("First run finished"));
        };
        const qsizetype before = pages();
        return QTest::qWaitFor([&] {
            const auto window = mainWindow();
            if (window && pages() == before && !output().contains(line))
                pointer.click(window->geometry.topLeft() + frameOrigin + forwardButton);
            return QTest::qWaitFor([&] { return output().contains(line); }, 3000);
        }, 4 * timeout);
    }

    // From the program's start to the last page of the first run, with two groups drafted: the
    // first with the first two of the Dock's applications, the second named `name` with the third.
    void draftTwoGroupsUpToTheLastStep(XTestPointer &pointer, XTestKeyboard &keyboard, const QString &name = QStringLiteral("play"))
    {
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("First run: showing the onboarding"), timeout);
        QVERIFY(forwardUntil(pointer, QStringLiteral("First run: step 1")));
        const QPoint frame = mainWindow()->geometry.topLeft() + frameOrigin;
        // The step is laid out by the time its first draft's name field is focused.
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("First run: renaming a draft group"), timeout);
        pointer.click(frame + firstChip);
        pointer.click(frame + secondChip);
        pointer.click(frame + addGroupButton);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("First run: naming a new draft group"), timeout);
        type(keyboard, name);
        keyboard.key(0xff0d, true);
        keyboard.key(0xff0d, false);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("First run: draft group 2 made"), timeout);
        pointer.click(frame + thirdChip);
        // Each page's button, too, takes clicks once its page has come in.
        for (int step = 2; step <= 4; ++step)
            QVERIFY(forwardUntil(pointer, QStringLiteral("First run: step %1").arg(step)));
    }

    // The Dock with its three applications and no folder.
    void writeDockPreferences()
    {
        m_dock.writePreferences("bottom", false, m_apps, {});
        giveApplicationsBundleIdentifiers();
    }

    // A home as before the first start: no groups, their folders, tiles or settings.
    void forgetEverything()
    {
        QFile::remove(appSupportDirectoryURL() + QStringLiteral("/groups.json"));
        QDir(groupsDirectoryURL()).removeRecursively();
        QFile::remove(SettingsFileUserDefaults::fileForSuite(QString()));
        writeDockPreferences();
    }

    void type(XTestKeyboard &keyboard, const QString &text)
    {
        for (const QChar c : text) {
            keyboard.key(c.unicode(), true);
            keyboard.key(c.unicode(), false);
        }
    }

    // The Dock keeps each application's bundle identifier beside its file.
    void giveApplicationsBundleIdentifiers()
    {
        QFile file(m_dock.preferences);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVariantMap root = PropertyList::parse(file.readAll()).value_or(QVariant()).toMap();
        file.close();
        QVariantList apps = root.value("persistent-apps").toList();
        for (QVariant &app : apps) {
            QVariantMap tile = app.toMap();
            QVariantMap data = tile.value("tile-data").toMap();
            data.insert("bundle-identifier", QStringLiteral("org.example.") + data.value("file-label").toString());
            tile.insert("tile-data", data);
            app = tile;
        }
        root.insert("persistent-apps", apps);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(PropertyList::toBinary(root));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_windows.isValid(), "needs an X server");
        m_apps = {m_dock.makeApplication("Mail"), m_dock.makeApplication("Notes"), m_dock.makeApplication("Music")};
        writeDockPreferences();
        QVERIFY(m_dock.start() > 0);
        m_tiles.setDock(m_dock.pid());
    }

    void cleanupTestCase()
    {
        if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("KESTROWAN_TEST_SHOW_OUTPUT"))
            qInfo().noquote() << "The program's output:\n" << (output(), m_output);
        stopProgram();
    }

    void aFirstStartIsDrivenThroughTheOnboarding()
    {
        startProgram();
        XTestPointer pointer;
        XTestKeyboard keyboard;
        QVERIFY(pointer.isValid() && keyboard.isValid());
        draftTwoGroupsUpToTheLastStep(pointer, keyboard);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(forwardUntil(pointer, QStringLiteral("First run finished")));

        QTRY_COMPARE_WITH_TIMEOUT(storedGroups().size(), 2, timeout);
        const QJsonArray groups = storedGroups();
        QCOMPARE(groups[0].toObject().value("apps").toArray().size(), 2);
        QCOMPARE(groups[1].toObject().value("name").toString(), "play");
        QCOMPARE(groups[1].toObject().value("apps").toArray().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(folderTiles().size(), 2, timeout);
        QTRY_VERIFY_WITH_TIMEOUT(SettingsFileUserDefaults(QString{}).boolean("didCompleteOnboarding"), timeout);
    }

    void theNextStartOpensTheGrid()
    {
        stopProgram();
        startProgram();
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("Runtime bootstrap complete"), timeout);
        QVERIFY(!output().contains("First run: showing the onboarding"));
        QCOMPARE(storedGroups().size(), 2);
    }

    // The user presses the last button and then Ctrl+Q, at once or while the Dock restarts for the
    // new groups; or the program is killed while the Dock restarts. The next start opens the grid
    // with both groups, once.
    void theFirstRunEndsOnceHoweverTheProgramEnds_data()
    {
        QTest::addColumn<bool>("whileTheDockRestarts");
        QTest::addColumn<bool>("killed");
        for (int round = 1; round <= 2; ++round) {
            QTest::addRow("Ctrl+Q right after the last button, %d", round) << false << false;
            QTest::addRow("Ctrl+Q while the Dock restarts, %d", round) << true << false;
            QTest::addRow("kill -9 while the Dock restarts, %d", round) << true << true;
        }
    }

    void theFirstRunEndsOnceHoweverTheProgramEnds()
    {
        QFETCH(bool, whileTheDockRestarts);
        QFETCH(bool, killed);
        stopProgram();
        // A Dock left restarting by the last round is back before the home is cleared: what it
        // writes as it comes back would otherwise hold the tiles of that round.
        QTRY_VERIFY_WITH_TIMEOUT(m_tiles.dockProcess(), timeout);
        forgetEverything();
        startProgram();
        XTestPointer pointer;
        XTestKeyboard keyboard;
        QVERIFY(pointer.isValid() && keyboard.isValid());
        // A name of its own each time, so that the Dock needs a new tile, whatever it kept.
        const QString name = QStringLiteral("play%1").arg(++m_finishes);
        draftTwoGroupsUpToTheLastStep(pointer, keyboard, name);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(forwardUntil(pointer, QStringLiteral("Finishing the first run")));
        if (whileTheDockRestarts)
            QTRY_VERIFY_WITH_TIMEOUT(output().contains("Restarting the Dock"), timeout);
        if (killed) {
            ::kill(pid_t(m_program.processId()), SIGKILL);
        } else {
            keyboard.chord({0xffe3}, 'q');
            keyboard.sync();
        }
        QVERIFY(m_program.waitForFinished(timeout));

        startProgram();
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("Runtime bootstrap complete"), timeout);
        QVERIFY(!output().contains("First run: showing the onboarding"));
        const QJsonArray groups = storedGroups();
        QCOMPARE(groups.size(), 2);
        QSet<QString> ids;
        for (const QJsonValue &group : groups)
            ids.insert(group.toObject().value("id").toString());
        QCOMPARE(ids.size(), 2);
        QCOMPARE(groups[1].toObject().value("name").toString(), name);
    }
};

KESTROWAN_TEST_MAIN(TestOnboardingXvfb)
#include "tst_onboarding_xvfb.moc"
