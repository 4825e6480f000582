// The whole road as a new user meets it: the stand-in Dock and the program on an empty home, on a
// real X server, driven only from outside with XTest and the Dock's Accessibility socket. The steps
// run in order and share one home; each leaves a picture of what the user saw.

#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/ProgramProcess.h"
#include "tests/app/ProgramRoad.h"
#include "tests/standin/DockPreferencesWriter.h"
#include "tests/support/RealApps.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <functional>

#include <csignal>

using namespace ProgramWindows;

namespace {

constexpr quint32 keyReturn = 0xff0d;
constexpr quint32 keyEscape = 0xff1b;
// A dark window is still lighter than the empty black screen behind it.
constexpr int darkDrawn = 12;

const QStringList groupNames{QStringLiteral("Work"), QStringLiteral("Play")};

QString screenshotPath(const QString &name)
{
    QDir().mkpath(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots"));
    return QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/road-") + name + QStringLiteral(".png");
}

// How light a picture is on average, sampled on a coarse grid: a window switched to dark drops far.
int averageLightness(const QImage &image)
{
    int total = 0, count = 0;
    for (int y = 0; y < image.height(); y += 8) {
        for (int x = 0; x < image.width(); x += 8) {
            total += image.pixelColor(x, y).lightness();
            ++count;
        }
    }
    return count ? total / count : 0;
}

int brightest(const QImage &image)
{
    int most = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2)
            most = std::max(most, image.pixelColor(x, y).lightness());
    }
    return most;
}

} // namespace

class TestRoadXvfb : public QObject, private ProgramRoad {
    Q_OBJECT

private:
    QString m_storage;
    QString m_startedLog;
    QStringList m_folders;

    // An application as the desktop knows one: its entry in the home's applications folder.
    QString makeApplication(const QString &name, const QByteArray &command)
    {
        const QString entry = m_dock.home + QStringLiteral("/.local/share/applications/") + name + QStringLiteral(".desktop");
        QDir().mkpath(QFileInfo(entry).path());
        QFile desktop(entry);
        if (!desktop.open(QIODevice::WriteOnly))
            return {};
        desktop.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=" + command + "\n");
        return entry;
    }

    // The test application: a script that records that it ran.
    QString makeRecordingApplication()
    {
        const QString script = m_dock.home + QStringLiteral("/bin/roadrunner.sh");
        QDir().mkpath(QFileInfo(script).path());
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("#!/bin/sh\necho started >> '" + m_startedLog.toUtf8() + "'\n");
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return makeApplication(QStringLiteral("Roadrunner"), script.toUtf8());
    }

    // A point of the program's first window, from where the window stands on the screen.
    QPoint inWindow(const QPoint &point)
    {
        const std::optional<QRect> window = mainWindow();
        return window ? window->topLeft() + point : QPoint();
    }

    // Clicks (or types) and waits until the window has changed and come to rest again.
    bool actAndWaitForChange(const std::function<void()> &act)
    {
        const std::optional<QRect> window = mainWindow();
        if (!window)
            return false;
        const QImage before = settledGrab(*window);
        act();
        if (!QTest::qWaitFor([&] { return grabScreen(*window) != before; }, roadTimeout))
            return false;
        return !settledGrab(*window).isNull();
    }

    bool clickInWindow(const QPoint &point)
    {
        return actAndWaitForChange([&] { m_pointer.click(inWindow(point)); });
    }

    bool type(const QByteArray &text)
    {
        return actAndWaitForChange([&] { typeKeys(text); });
    }

    void typeKeys(const QByteArray &text)
    {
        // Capitals and the symbols above the digits and punctuation are typed with Shift held.
        static const QByteArray shifted("~!@#$%^&*()_+{}|:\"<>?");
        for (const char letter : text) {
            if (QChar::isUpper(letter))
                m_keyboard.chord({XTestKeys::shiftL}, quint32(QChar::toLower(letter)));
            else if (shifted.contains(letter))
                m_keyboard.chord({XTestKeys::shiftL}, quint32(letter));
            else
                m_keyboard.chord({}, quint32(letter));
        }
    }

    QJsonArray storedGroups() const
    {
        QFile file(m_storage + QStringLiteral("/groups.json"));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).array() : QJsonArray();
    }

    void startProgram() { QVERIFY(launchProgram()); }

    // Both group tiles, and the program's own tile that the Dock makes room for: once all three show,
    // the tiles stay where they are, and a pointer resting on one stays on it.
    bool bothTilesShow()
    {
        return QTest::qWaitFor([] { return tileOf(groupNames[0]) && tileOf(groupNames[1]) && tileOf(QStringLiteral("Kestrowan")); },
                               roadTimeout);
    }

    // Rests the pointer on a group's tile until the program shows the popup beside it.
    std::optional<QRect> hoverUntilShown(const QString &group) { return hoverUntilPopupBeside(group); }

    // Whether the program's window at `popup` is the one the keyboard goes to.
    bool popupHasKeyboard(const QRect &popup) { return hasKeyboard(m_program.processId(), popup); }

    // The program's main window, once it shows.
    std::optional<QRect> mainWindow()
    {
        std::optional<QRect> found;
        (void)QTest::qWaitFor([&] {
            if (const std::optional<X11Windows::Window> window = shownMainWindow())
                found = window->geometry;
            return found.has_value();
        }, roadTimeout);
        return found;
    }

    // Whether the program's window at `popup` stands above its main window on the screen.
    bool popupAboveMainWindow(const QRect &popup)
    {
        return aboveMainWindow([&](const X11Windows::Window &window) { return window.geometry == popup; });
    }

    // The Dock's band with a popup above it, as the user sees them together.
    QRect dockBandWith(const QRect &popup) const
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const int top = int(tileOf(groupNames[0]).value_or(DockItemInfo{}).frame.top()) - 8;
        const QRect band(0, top, screen.width(), screen.height() - top);
        return popup.united(band).intersected(QRect(popup.left() - 260, 0, popup.width() + 520, screen.height()));
    }

    QStringList storageEntries() const
    {
        return QDir(m_storage).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    // A second start with a link to the settings hands it to the running program, which shows them.
    std::optional<QRect> settingsFromASecondStart()
    {
        QProcess second;
        second.setProcessEnvironment(ProgramProcess::environment());
        second.start(QStringLiteral(KESTROWAN_PROGRAM), {QStringLiteral("kestrowan://open/settings")});
        if (!second.waitForFinished(roadTimeout) || second.exitCode() != 0
            || !waitForLine(QStringLiteral("Navigation selected page changed: settings")))
            return std::nullopt;
        return mainWindow();
    }

    static void setDefault(const QString &key, const QVariant &value) { setDefaults({{key, value}}); }

private slots:
    void initTestCase()
    {
        QVERIFY2(canDrive(), "needs an X server");
        QVERIFY(grantDockAccess());
        m_storage = storage();
        m_startedLog = m_dock.home + QStringLiteral("/roadrunner-started.log");
        const QString application = makeRecordingApplication();
        QVERIFY(!application.isEmpty());
        // The Dock as a new user has it: three applications and no folder. Beside the one that
        // records its start, two installed ones with their own icons (never started here).
        const RealApps::Found installed = RealApps::applications();
        QVERIFY2(installed.missing.isEmpty(), qPrintable(installed.missing));
        const QString calculator = installed.items[0].path, viewer = installed.items[1].path;
        writeDockPreferences(m_dock.preferences, QStringLiteral("bottom"), false, {application, calculator, viewer}, {}, true);
        QVERIFY(m_dock.start() > 0);
        // The program keeps its own Dock tile, so that the tiles stay put while it runs.
        setDefault(QStringLiteral("showInDock"), true);
        startProgram();
    }

    void cleanup()
    {
        if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("KESTROWAN_TEST_SHOW_OUTPUT"))
            printProgramOutput();
    }

    void cleanupTestCase() { stopProgram(); }

    void step1_onboardingMakesTwoGroups()
    {
        // The points are where the first-run window draws its buttons and the Dock's applications.
        const QPoint organize(470, 457), nextStep(499, 456), addAnotherGroup(461, 382);
        const QPoint roadrunner(134, 161), calculator(269, 161), viewer(134, 203);
        const std::optional<QRect> window = mainWindow();
        QVERIFY(window);
        QVERIFY(waitUntilDrawn(*window));
        QVERIFY(settledGrab(*window).save(screenshotPath("1-welcome-light")));
        QVERIFY(clickInWindow(organize));
        // The first group's name is ready for typing.
        QVERIFY(type("Work"));
        m_keyboard.chord({}, keyReturn);
        QVERIFY(clickInWindow(roadrunner));
        QVERIFY(clickInWindow(calculator));
        QVERIFY(clickInWindow(addAnotherGroup));
        QVERIFY(type("Play"));
        m_keyboard.chord({}, keyReturn);
        QVERIFY(clickInWindow(viewer));
        QVERIFY(settledGrab(*window).save(screenshotPath("1-groups-light")));
        QVERIFY(clickInWindow(nextStep)); // the preview
        QVERIFY(clickInWindow(nextStep)); // the Accessibility access, granted already
        QVERIFY(clickInWindow(nextStep)); // all set
        QVERIFY(settledGrab(*window).save(screenshotPath("1-done-light")));
        // "Add Groups to Dock"; the button comes to life a moment after its page shows, and once it has
        // acted the window shows the groups, where the same point is empty space.
        QVERIFY(QTest::qWaitFor([&] {
            m_pointer.click(inWindow(nextStep));
            return waitForLine(QStringLiteral("Finishing the first run with 2 draft groups"), 0, 2000);
        }, 4 * roadTimeout));
        QTRY_COMPARE_WITH_TIMEOUT(storedGroups().size(), 2, roadTimeout);
        QCOMPARE(storedGroups().at(0).toObject().value(QStringLiteral("name")).toString(), groupNames[0]);
        QCOMPARE(storedGroups().at(0).toObject().value(QStringLiteral("apps")).toArray().size(), 2);
        QCOMPARE(storedGroups().at(1).toObject().value(QStringLiteral("name")).toString(), groupNames[1]);
        for (const QString &name : groupNames)
            m_folders.append(m_storage + QStringLiteral("/Groups/") + name);
    }

    void step2_bothTilesShowWithTheirIcons()
    {
        // The program greets a first start with its window.
        QVERIFY(mainWindow());
        QVERIFY(bothTilesShow());
        // The composed pictures are drawn on the tiles: marks that stand out from a dark tile (the
        // applications' own colours, a red one as much as a white one).
        // The tiles are read afresh each time, as the Dock makes room for the program's own tile.
        QVERIFY(QTest::qWaitFor([&] {
            for (const QString &name : groupNames) {
                const std::optional<DockItemInfo> tile = tileOf(name);
                if (!tile)
                    return false;
                const QImage image = grabScreen(tile->frame.toRect());
                const int average = averageLightness(image);
                if (image.isNull() || average > 160 || brightest(image) < average + 100)
                    return false;
            }
            return true;
        }, roadTimeout));
        const std::optional<DockItemInfo> work = tileOf(groupNames[0]);
        QVERIFY(work);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const int top = int(work->frame.top()) - 8;
        QVERIFY(grabScreen(QRect(0, top, screen.width(), screen.height() - top)).save(screenshotPath("2-tiles-light")));
        // The user closes the window and goes to the Dock; the program stays, with its Dock icon.
        QVERIFY(QTest::qWaitFor([&] {
            for (const X11Windows::Window &window : X11Windows().all()) {
                if (window.pid == m_program.processId() && window.viewable && window.name == QLatin1String("Kestrowan"))
                    X11Windows().requestClose(window.id);
            }
            return waitForLine(QStringLiteral("MainView onDisappear"), 0, 2000);
        }, 2 * roadTimeout));
    }

    void step3_hoverTypeAndOpen()
    {
        const std::optional<QRect> popup = hoverUntilShown(groupNames[0]);
        QVERIFY(popup);
        QVERIFY(waitUntilPopupGrown(*popup));
        QVERIFY(grabScreen(dockBandWith(*popup)).save(screenshotPath("3-popup-light")));
        // Typing narrows the three items to the one whose name holds the letters; Return opens the
        // only item left, and does nothing while more than one is listed and none is chosen.
        // Keys typed before the popup holds the keyboard would go elsewhere: wait until it does.
        QVERIFY(QTest::qWaitFor([&] { return popupHasKeyboard(*popup); }, roadTimeout));
        const QImage before = grabScreen(*popup);
        for (const char letter : QByteArrayLiteral("road"))
            m_keyboard.chord({}, quint32(letter));
        QVERIFY(QTest::qWaitFor([&] { return grabScreen(*popup) != before; }, roadTimeout));
        QVERIFY(grabScreen(dockBandWith(*popup)).save(screenshotPath("3-popup-typed-light")));
        m_keyboard.chord({}, keyReturn);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(m_startedLog), roadTimeout);
    }

    void step4_controlTwoOpensTheSecondGroup()
    {
        // Away from the Dock the hovered popup closes. The hot key's popup comes up above the
        // pointer, where there is room for it below the menu-bar strip.
        m_pointer.move(QPoint(700, 500));
        QVERIFY(waitForNoPopupBeside(m_program.processId(), tileOf(groupNames[0])->frame.toRect()));
        const QRect around(660, 470, 80, 60);
        m_keyboard.chord({XTestKeys::controlL}, '2');
        QVERIFY(waitForPopupBeside(m_program.processId(), around));
        const QRect popup = *popupBeside(m_program.processId(), around);
        QVERIFY(waitUntilPopupGrown(popup));
        QVERIFY(grabScreen(popup.adjusted(-40, -40, 40, 100)).save(screenshotPath("4-control-2-light")));
        m_keyboard.chord({}, keyEscape);
        QVERIFY(waitForNoPopupBeside(m_program.processId(), around));
    }

    void step5_aFileAddedInTheEditorReachesTheFolder()
    {
        // The user has turned on syncing to the Dock by itself in the settings.
        setDefault(QStringLiteral("autoSyncEnabled"), true);
        const QString report = m_dock.home + QStringLiteral("/Documents/Report.txt");
        QDir().mkpath(QFileInfo(report).path());
        QFile(report).open(QIODevice::WriteOnly);
        const QString work = storedGroups().at(0).toObject().value(QStringLiteral("id")).toString();
        QProcess second;
        second.setProcessEnvironment(ProgramProcess::environment());
        second.start(QStringLiteral(KESTROWAN_PROGRAM), {QStringLiteral("kestrowan://open/group/") + work});
        QVERIFY(second.waitForFinished(roadTimeout));
        QCOMPARE(second.exitCode(), 0);
        const std::optional<QRect> window = mainWindow();
        QVERIFY(window);
        QVERIFY(waitUntilDrawn(*window));
        // The link opens the group's editor, whose "Files" opens the file chooser; until the editor has
        // slid in, the same point is empty space in the list of groups.
        QVERIFY(waitForLine(QStringLiteral("Navigation selected page changed: group(")));
        const int windowsBefore = int(windowsOfProcess(m_program.processId()).size());
        QVERIFY(QTest::qWaitFor([&] {
            m_pointer.click(inWindow(QPoint(356, 346)));
            return QTest::qWaitFor([&] { return windowsOfProcess(m_program.processId()).size() > windowsBefore; }, 3000);
        }, 2 * roadTimeout));
        // The chooser, once drawn, takes a typed path.
        QVERIFY(!settledGrab(QGuiApplication::primaryScreen()->geometry()).isNull());
        typeKeys(report.toUtf8());
        m_keyboard.chord({}, keyReturn);
        QTRY_COMPARE_WITH_TIMEOUT(int(windowsOfProcess(m_program.processId()).size()), windowsBefore, roadTimeout);
        QVERIFY(settledGrab(*window).save(screenshotPath("5-editor-added-light")));
        // After the countdown the group's folder in the Dock holds the file.
        const QString folder = m_folders.first();
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).entryList({QStringLiteral("Report*")}, QDir::AllEntries | QDir::System).isEmpty(),
                                 roadTimeout);
    }

    void step6_settingsFromASecondStartAndDark()
    {
        const std::optional<QRect> window = settingsFromASecondStart();
        QVERIFY(window);
        QVERIFY(waitUntilDrawn(*window));
        const QImage lightPicture = settledGrab(*window);
        QVERIFY(!lightPicture.isNull());
        QVERIFY(lightPicture.save(screenshotPath("6-settings-light")));
        const int light = averageLightness(lightPicture);
        setDefault(QStringLiteral("appearanceMode"), QStringLiteral("dark"));
        QVERIFY(QTest::qWaitFor([&] { return averageLightness(grabScreen(*window)) < light - 60; }, roadTimeout));
        const QImage darkPicture = settledGrab(*window);
        QVERIFY(!darkPicture.isNull());
        QVERIFY(averageLightness(darkPicture) < light - 60);
        QVERIFY(darkPicture.save(screenshotPath("6-settings-dark")));
    }

    void step7_killedAndStartedAgain()
    {
        const QByteArray groupsBefore = [this] {
            QFile file(m_storage + QStringLiteral("/groups.json"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        ::kill(pid_t(m_program.processId()), SIGKILL);
        QVERIFY(m_program.waitForFinished(roadTimeout));
        // Nothing half written: only whole files, the groups list still reads as two groups.
        for (const QString &entry : storageEntries())
            QVERIFY2(entry == QLatin1String("groups.json") || !entry.startsWith(QLatin1String("groups.json")), qPrintable(entry));
        QFile file(m_storage + QStringLiteral("/groups.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
        QCOMPARE(document.array().size(), 2);
        QVERIFY(!groupsBefore.isEmpty());

        startProgram();
        QVERIFY(bothTilesShow());
        SettingsFileUserDefaults defaults(QString{});
        QCOMPARE(defaults.value(QStringLiteral("appearanceMode")).toString(), QStringLiteral("dark"));
        QCOMPARE(defaults.value(QStringLiteral("interactionMode")).toString(), QStringLiteral("hover"));
        const std::optional<QRect> popup = hoverUntilShown(groupNames[1]);
        QVERIFY(popup);
        // The main window opens at start-up as well, over part of where the popup is: the popup
        // stays above it whichever came up first, and is drawn down to its lower edge, which lies
        // over the empty screen.
        const std::optional<QRect> window = mainWindow();
        QVERIFY(window);
        QVERIFY(window->intersects(*popup));
        QVERIFY(popupAboveMainWindow(*popup));
        const QRect belowWindow(popup->left(), window->bottom() + 1, popup->width(), popup->bottom() - window->bottom());
        QVERIFY(!belowWindow.isEmpty());
        QVERIFY(QTest::qWaitFor([&] { return averageLightness(grabScreen(belowWindow)) > darkDrawn; }, roadTimeout));
        QVERIFY(waitUntilPopupGrown(*popup, darkDrawn));
        QVERIFY(popupAboveMainWindow(*popup));
        QVERIFY(grabScreen(dockBandWith(*popup)).save(screenshotPath("7-restarted-dark")));
        m_pointer.move(QPoint(700, 300));
        // The window comes back dark as it was left.
        QVERIFY(QTest::qWaitFor([&] {
            const QImage image = grabScreen(*window);
            return averageLightness(image) > darkDrawn && averageLightness(image) < 100;
        }, roadTimeout));
    }

    void step8_aCorruptGroupsFileAtStartUp()
    {
        stopProgram();
        const QString groupsPath = m_storage + QStringLiteral("/groups.json");
        const QByteArray garbage("{\"this is\": not json at all");
        {
            QFile file(groupsPath);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(garbage);
        }
        startProgram();
        QVERIFY(waitForLine(QStringLiteral("Corrupt groups.json backed up to")));
        QVERIFY(waitForLine(QStringLiteral("Showing the groups file's load error")));
        QStringList copies;
        for (const QString &entry : storageEntries()) {
            if (entry.startsWith(QLatin1String("groups-corrupt-")))
                copies.append(entry);
        }
        QCOMPARE(copies.size(), 1);
        QFile copy(m_storage + u'/' + copies.first());
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), garbage);
        const std::optional<QRect> window = mainWindow();
        QVERIFY(window);
        QVERIFY(settledGrab(*window).save(screenshotPath("8-corrupt-dark")));
        // The user's folders and tiles outlive a list the program could not read.
        for (const QString &folder : std::as_const(m_folders))
            QVERIFY2(QFileInfo::exists(folder + QStringLiteral("/Icon\r")), qPrintable(folder));
        QVERIFY(bothTilesShow());
    }

    // The user switches to Japanese: after the next start the settings read in it.
    void step9_japaneseAfterARestart()
    {
        stopProgram();
        setDefault(QStringLiteral("appLanguage"), QStringLiteral("ja"));
        startProgram();
        const std::optional<QRect> window = settingsFromASecondStart();
        QVERIFY(window);
        QVERIFY(waitUntilDrawn(*window, darkDrawn));
        QVERIFY(settledGrab(*window).save(screenshotPath("9-settings-dark-ja")));
    }
};

KESTROWAN_TEST_MAIN(TestRoadXvfb)
#include "tst_road_xvfb.moc"
