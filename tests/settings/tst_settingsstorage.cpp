// Settings changed on the settings page while their file cannot be written (a full disk, a folder
// that cannot be written): the user is told once, the change stays in effect and is written with the
// next change, or when the program quits, and the next start reads it back. The same program on
// another display shares the file: neither side's change is lost, and each sees the other's. A file
// of another program's values is read as the format allows; one that cannot be read is told.
#include "tests/app/FakeShellServices.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/settings/MainViewFixture.h"

#include "Kestrowan/app/MainViewPages.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/GroupGridPage.h"
#include "Kestrowan/mainwindow/MainView.h"
#include "Kestrowan/mainwindow/MainViewFactories.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/SettingsWidgets.h"
#include "Kestrowan/mainwindow/ToolbarButton.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/PropertyList.h"
#include "Platform/fake/FakeApplicationActivation.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/BinaryPlistBuilder.h"
#include "tests/support/FullDisk.h"
#include "tests/support/PermissionOverride.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>

#include <csignal>

namespace {

constexpr int timeout = 20000;

void useSettingsFiles()
{
    UserDefaults::installFactory([](const QString &suite) { return std::make_unique<SettingsFileUserDefaults>(suite); });
}

QString settingsFile()
{
    return SettingsFileUserDefaults::fileForSuite(QString());
}

// What the file on disk holds, read as the next start reads it.
QString storedString(const QString &key)
{
    const std::optional<QVariant> stored = PropertyList::parse(readTestFile(settingsFile()));
    return stored ? stored->toMap().value(key).toString() : QString();
}

// What the file on disk holds, as the next start reads it; empty when it does not read.
QVariantMap storedValues()
{
    const std::optional<QVariant> stored = PropertyList::parse(readTestFile(settingsFile()));
    return stored ? stored->toMap() : QVariantMap();
}

// The same program on another display, with the same home folder: a process of its own keeping its
// settings in the same file (tests/settings/settings_peer.cpp says what it is told).
class SettingsPeer {
public:
    SettingsPeer()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(SETTINGS_PEER_PATH), QStringList());
    }
    ~SettingsPeer()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        send("quit");
        if (!m_process.waitForFinished(timeout))
            m_process.kill();
        m_process.waitForFinished(timeout);
    }

    bool ready() { return line(QStringLiteral("ready")).has_value(); }
    void send(const QByteArray &command)
    {
        m_process.write(command + '\n');
        m_process.waitForBytesWritten(timeout);
    }
    // The next line that starts with `prefix`, the lines before it passed over; nullopt when none
    // comes within the deadline.
    std::optional<QString> line(const QString &prefix)
    {
        for (;;) {
            if (!m_process.canReadLine() && !QTest::qWaitFor([this] { return m_process.canReadLine(); }, timeout))
                return std::nullopt;
            const QString text = QString::fromUtf8(m_process.readLine()).trimmed();
            if (text.startsWith(prefix))
                return text;
        }
    }
    // The value the other program holds for `key` now, as text.
    QString value(const QString &key)
    {
        send("get " + key.toUtf8());
        const std::optional<QString> answer = line(QStringLiteral("value %1").arg(key));
        return answer ? answer->mid(QStringLiteral("value %1 ").arg(key).size()) : QStringLiteral("(no answer)");
    }
    // Until the other program holds `expected` for `key`, asking again and again within the deadline.
    bool comesToHold(const QString &key, const QString &expected)
    {
        return QTest::qWaitFor([&] { return value(key) == expected; }, timeout);
    }
    void killHard()
    {
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(timeout);
    }

private:
    QProcess m_process;
};

// Keeps the settings file from being written while it lives, in one of the ways a machine does.
class Unwritable {
public:
    explicit Unwritable(const QString &how)
    {
        if (how == QLatin1String("full disk")) {
            m_disk = std::make_unique<FullDisk>(64);
            m_active = m_disk->active();
        } else {
            m_folder = QFileInfo(settingsFile()).absolutePath();
            m_asAnyUser = std::make_unique<WithoutPermissionOverride>();
            m_active = setFolderWritable(m_folder, false);
        }
    }
    ~Unwritable()
    {
        if (!m_folder.isEmpty())
            setFolderWritable(m_folder, true);
    }
    bool active() const { return m_active; }

private:
    std::unique_ptr<FullDisk> m_disk;
    std::unique_ptr<WithoutPermissionOverride> m_asAnyUser;
    QString m_folder;
    bool m_active = false;
};

} // namespace

class TestSettingsStorage : public QObject {
    Q_OBJECT
private:
    MainViewFixture m_main;
    std::unique_ptr<MainView> m_view;
    QStringList m_toasts;

    // The main window on its settings page, with every toast it shows recorded.
    SettingsPanel *openSettings()
    {
        m_view = m_main.makeView();
        auto *toasts = m_view->findChild<AppToastModifier *>();
        if (!toasts)
            return nullptr;
        connect(toasts, &AppToastModifier::toastChanged, this, [this](const std::optional<AppToast> &toast) {
            if (toast)
                m_toasts.append(toast->text);
        });
        clickWidget(m_view->gridPage()->settingsButton());
        if (!QTest::qWaitFor([this] { return qobject_cast<SettingsPanel *>(m_view->shownPage()) != nullptr; }, timeout))
            return nullptr;
        return qobject_cast<SettingsPanel *>(m_view->shownPage());
    }

    static void choose(SettingsPanel *page, const char *control, const QString &value)
    {
        auto *choice = page->findChild<SegmentedChoice *>(QString::fromLatin1(control));
        QVERIFY(choice && choice->segment(value));
        QTest::mouseClick(choice->segment(value), Qt::LeftButton);
    }

    // The program ends and starts again: its defaults go (writing what they still hold) and are read
    // afresh from the file.
    void quitAndStartAgain()
    {
        m_view.reset();
        useSettingsFiles();
    }

    int saveErrorsShown() const { return int(m_toasts.count(localized(QStringLiteral("settings.saveError")))); }
    int loadErrorsShown() const { return int(m_toasts.count(localized(QStringLiteral("settings.loadError")))); }

    // The toast on screen now, if any.
    QString shownToast() const
    {
        auto *toasts = m_view ? m_view->findChild<AppToastModifier *>() : nullptr;
        return toasts && toasts->toast() ? toasts->toast()->text : QString();
    }

    static void clickNamed(SettingsPanel *page, const char *name)
    {
        auto *button = page->findChild<QAbstractButton *>(QString::fromLatin1(name));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // The settings file now holds another program's values, and this program starts on it.
    void startOnFile(const QByteArray &bytes)
    {
        m_view.reset();
        QVERIFY(writeTestFile(settingsFile(), bytes));
        useSettingsFiles();
    }

    // Changes in the file, made as another program holding the file's lock makes them.
    static bool writeAsLockHolder(const QVariantMap &changes)
    {
        const std::optional<QByteArray> bytes = PropertyList::withTopLevelChanges(readTestFile(settingsFile()), changes);
        return bytes && !SafeWrite::replaceFile(settingsFile(), *bytes);
    }

private slots:
    void initTestCase()
    {
        m_main.prepare();
    }

    void init()
    {
        QDir(appSupportDirectoryURL()).removeRecursively();
        QFile::remove(settingsFile());
        useSettingsFiles();
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        UserDefaults::standard().setValue(QStringLiteral("appearanceMode"), QStringLiteral("light"));
        UserDefaults::standard().setValue(QStringLiteral("interactionMode"), QStringLiteral("click"));
        UserDefaults::standard().synchronize();
        QVERIFY(readTestFile(settingsFile()).contains("<string>light</string>"));
        m_main.start();
        m_toasts.clear();
    }

    void cleanup()
    {
        m_view.reset();
        MainViewFactories::shared() = MainViewFactories();
        m_main.store.reset();
    }

    void ways_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("full disk") << QStringLiteral("full disk");
        QTest::newRow("read-only folder") << QStringLiteral("read-only folder");
    }

    void aChangeThatCannotBeWrittenIsToldOnceAndWrittenWithTheNextChange_data() { ways_data(); }
    void aChangeThatCannotBeWrittenIsToldOnceAndWrittenWithTheNextChange()
    {
        QFETCH(QString, how);
        SettingsPanel *page = openSettings();
        QVERIFY(page);
        const QByteArray before = readTestFile(settingsFile());
        {
            Unwritable blocked(how);
            QVERIFY(blocked.active());
            LogCapture log;
            choose(page, "appearance", QStringLiteral("dark"));
            QTRY_COMPARE_WITH_TIMEOUT(saveErrorsShown(), 1, timeout);
            QVERIFY(UserDefaults::standard().saveFailing());
            // Still in effect while it is not on disk.
            QCOMPARE(UserDefaults::standard().string(QStringLiteral("appearanceMode")), QStringLiteral("dark"));
            // A second change fails too, and is not told again.
            auto *hover = page->findChild<QAbstractButton *>(QStringLiteral("hoverMode"));
            QVERIFY(hover);
            QTest::mouseClick(hover, Qt::LeftButton);
            QCOMPARE(UserDefaults::standard().string(QStringLiteral("interactionMode")), QStringLiteral("hover"));
            QTRY_COMPARE_WITH_TIMEOUT(log.count(QStringLiteral("^Could not save preferences: ")), 2, timeout);
            QCOMPARE(saveErrorsShown(), 1);
        }
        QCOMPARE(readTestFile(settingsFile()), before);

        // The next change, with room again, writes every change still unwritten.
        choose(page, "appearance", QStringLiteral("system"));
        QTRY_VERIFY_WITH_TIMEOUT(!UserDefaults::standard().saveFailing(), timeout);
        QCOMPARE(storedString(QStringLiteral("appearanceMode")), QStringLiteral("system"));
        QCOMPARE(storedString(QStringLiteral("interactionMode")), QStringLiteral("hover"));

        quitAndStartAgain();
        QCOMPARE(UserDefaults::standard().string(QStringLiteral("interactionMode")), QStringLiteral("hover"));
        QCOMPARE(UserDefaults::standard().string(QStringLiteral("appearanceMode")), QStringLiteral("system"));
    }

    void aChangeThatCannotBeWrittenIsWrittenAtQuit_data() { ways_data(); }
    void aChangeThatCannotBeWrittenIsWrittenAtQuit()
    {
        QFETCH(QString, how);
        SettingsPanel *page = openSettings();
        QVERIFY(page);
        {
            Unwritable blocked(how);
            QVERIFY(blocked.active());
            choose(page, "appearance", QStringLiteral("dark"));
            QTRY_COMPARE_WITH_TIMEOUT(saveErrorsShown(), 1, timeout);
        }
        QCOMPARE(storedString(QStringLiteral("appearanceMode")), QStringLiteral("light"));

        // Room again, and no further change: quitting writes it.
        quitAndStartAgain();
        QCOMPARE(UserDefaults::standard().string(QStringLiteral("appearanceMode")), QStringLiteral("dark"));
        QCOMPARE(storedString(QStringLiteral("appearanceMode")), QStringLiteral("dark"));
    }

    // The user changes settings on the settings page while the program on another display changes
    // others, round after round: the file ends up with every change of both, and each program holds
    // the other's changes too.
    // Twenty-five rounds in rows of five, each row from a fresh file: every change of the other
    // program is written with the file synced, which a loaded machine makes slow.
    void twoProgramsChangingSettingsAtOnceLoseNothing_data()
    {
        QTest::addColumn<int>("first");
        for (int first = 0; first < 25; first += 5)
            QTest::addRow("rounds %d-%d", first + 1, first + 5) << first;
    }

    void twoProgramsChangingSettingsAtOnceLoseNothing()
    {
        QFETCH(int, first);
        SettingsPanel *page = openSettings();
        QVERIFY(page);
        SettingsPeer peer;
        QVERIFY(peer.ready());
        const QStringList appearances{QStringLiteral("dark"), QStringLiteral("system"), QStringLiteral("light")};
        constexpr int rounds = 5;
        constexpr int peerChanges = 40;
        QVariantMap expected;
        for (int round = first; round < first + rounds; ++round) {
            const QString prefix = QStringLiteral("peer%1").arg(round);
            peer.send("burst " + prefix.toUtf8() + ' ' + QByteArray::number(peerChanges));
            QVERIFY(peer.line(QStringLiteral("started")));
            // The user's clicks, each written from the event loop as the other program writes.
            const QString appearance = appearances.at(round % appearances.size());
            choose(page, "appearance", appearance);
            QCoreApplication::processEvents();
            clickNamed(page, round % 2 == 0 ? "hoverMode" : "clickMode");
            QCoreApplication::processEvents();
            clickNamed(page, "autoSync");
            QCoreApplication::processEvents();
            const QVariantMap mine{
                {QStringLiteral("appearanceMode"), appearance},
                {QStringLiteral("interactionMode"), round % 2 == 0 ? QStringLiteral("hover") : QStringLiteral("click")},
                {QStringLiteral("autoSyncEnabled"), UserDefaults::standard().boolean(QStringLiteral("autoSyncEnabled"))},
            };
            QCOMPARE(UserDefaults::standard().string(QStringLiteral("appearanceMode")), appearance);
            QVERIFY(peer.line(QStringLiteral("done")));
            for (auto it = mine.cbegin(); it != mine.cend(); ++it)
                expected.insert(it.key(), it.value());
            for (int i = 0; i < peerChanges; ++i)
                expected.insert(prefix + u'.' + QString::number(i), true);

            // Every change of both programs, of this round and the ones before, is in the file.
            const auto lost = [&expected] {
                const QVariantMap stored = storedValues();
                QStringList missing;
                for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
                    if (stored.value(it.key()) != it.value())
                        missing.append(it.key());
                }
                return missing;
            };
            QTRY_COMPARE_WITH_TIMEOUT(lost(), QStringList(), timeout);
            // This program holds the other's changes, and its own are not taken back.
            QTRY_VERIFY_WITH_TIMEOUT(UserDefaults::standard().boolean(prefix + QStringLiteral(".%1").arg(peerChanges - 1)), timeout);
            for (auto it = expected.cbegin(); it != expected.cend(); ++it)
                QCOMPARE(UserDefaults::standard().value(it.key()), it.value());
            QCOMPARE(qobject_cast<SegmentedChoice *>(page->findChild<SegmentedChoice *>(QStringLiteral("appearance")))->selected(), appearance);
            // The other program holds this one's.
            QVERIFY(peer.comesToHold(QStringLiteral("appearanceMode"), appearance));
            QVERIFY(peer.comesToHold(QStringLiteral("interactionMode"), mine.value(QStringLiteral("interactionMode")).toString()));
            QVERIFY(peer.comesToHold(QStringLiteral("autoSyncEnabled"), mine.value(QStringLiteral("autoSyncEnabled")).toString()));
        }
        QCOMPARE(saveErrorsShown(), 0);
    }

    // A save takes in what the other program wrote and tells of it; a listener that writes a change
    // of its own at that moment, and wants it on disk now, finds the file free: the save that told
    // it is over. Told while that save still held the file, it waited for it and was refused.
    void aChangeWrittenWhileASaveTellsOfTheOtherProgramsIsWrittenAtOnce()
    {
        UserDefaults &defaults = UserDefaults::standard();
        LogCapture log;
        int told = 0;
        QObject listener;
        connect(&defaults, &UserDefaults::valueChanged, &listener, [&](const QString &key) {
            if (key != QLatin1String("theirsWhileTelling") || told++ > 0)
                return;
            defaults.setValue(QStringLiteral("mineWhileTold"), true);
            defaults.synchronize();
        });
        // The other program's write lands just before this side saves a change of its own.
        QVERIFY(writeAsLockHolder({{QStringLiteral("theirsWhileTelling"), true}}));
        defaults.setValue(QStringLiteral("appearanceMode"), QStringLiteral("dark"));
        defaults.synchronize();
        QCOMPARE(told, 1);
        const QVariantMap stored = storedValues();
        QVERIFY(stored.value(QStringLiteral("mineWhileTold")).toBool());
        QCOMPARE(stored.value(QStringLiteral("appearanceMode")).toString(), QStringLiteral("dark"));
        QVERIFY(stored.value(QStringLiteral("theirsWhileTelling")).toBool());
        QCOMPARE(log.count(QStringLiteral("Could not save preferences")), 0);
        QVERIFY(!defaults.saveFailing());
    }

    // While another writer holds the settings file's lock, a change waits in memory, in effect, and
    // is written once the lock is free, on top of what the other wrote meanwhile; the window does not
    // freeze meanwhile. The lock is one that another machine of a network home sees too.
    void aChangeWaitsForAnotherWritersLockAndKeepsItsWrite_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("open-file-description lock") << QByteArray("ofd");
        QTest::newRow("classic lock") << QByteArray("posix");
    }

    void aChangeWaitsForAnotherWritersLockAndKeepsItsWrite()
    {
        QFETCH(QByteArray, kind);
        SettingsPanel *page = openSettings();
        QVERIFY(page);
        SettingsPeer peer;
        QVERIFY(peer.ready());
        for (int round = 0; round < 5; ++round) {
            peer.send("lock " + kind);
            QVERIFY(peer.line(QStringLiteral("locked")));
            const QByteArray before = readTestFile(settingsFile());
            const QString appearance = round % 2 == 0 ? QStringLiteral("dark") : QStringLiteral("system");
            choose(page, "appearance", appearance);
            // Nothing is written while the other holds the lock, and the page goes on answering.
            QTest::qWait(300);
            QCOMPARE(readTestFile(settingsFile()), before);
            QCOMPARE(UserDefaults::standard().string(QStringLiteral("appearanceMode")), appearance);
            clickNamed(page, "autoSync");
            const bool autoSync = UserDefaults::standard().boolean(QStringLiteral("autoSyncEnabled"));
            // The holder writes a value of its own, and lets go.
            const QString theirs = QStringLiteral("theirs%1").arg(round);
            QVERIFY(writeAsLockHolder({{theirs, true}}));
            peer.send("release");
            QVERIFY(peer.line(QStringLiteral("released")));
            QTRY_COMPARE_WITH_TIMEOUT(storedValues().value(QStringLiteral("appearanceMode")).toString(), appearance, timeout);
            const QVariantMap stored = storedValues();
            QCOMPARE(stored.value(QStringLiteral("autoSyncEnabled")).toBool(), autoSync);
            QVERIFY(stored.value(theirs).toBool());
            QTRY_VERIFY_WITH_TIMEOUT(UserDefaults::standard().boolean(theirs), timeout);
        }
        QCOMPARE(saveErrorsShown(), 0);
    }

    // A writer killed at any moment of its writing leaves a file that reads, with every change it had
    // written; its lock goes with it, and this program's next change is written at once.
    void aWriterKilledMidWriteLeavesAReadableFile()
    {
        SettingsPanel *page = openSettings();
        QVERIFY(page);
        constexpr int trials = 20;
        for (int trial = 0; trial < trials; ++trial) {
            const QString prefix = QStringLiteral("killed%1").arg(trial);
            const int writtenBeforeKill = 3 + (trial * 7) % 31;
            {
                SettingsPeer peer;
                QVERIFY(peer.ready());
                peer.send("progress " + prefix.toUtf8() + " 100000");
                QVERIFY(peer.line(QStringLiteral("wrote %1").arg(writtenBeforeKill)));
                peer.killHard();
            }
            const QVariantMap stored = storedValues();
            QVERIFY2(!stored.isEmpty(), qPrintable(QStringLiteral("trial %1: the file does not read").arg(trial)));
            for (int i = 0; i <= writtenBeforeKill; ++i)
                QVERIFY(stored.value(prefix + u'.' + QString::number(i)).toBool());
            const QString appearance = trial % 2 == 0 ? QStringLiteral("dark") : QStringLiteral("light");
            choose(page, "appearance", appearance);
            QTRY_COMPARE_WITH_TIMEOUT(storedValues().value(QStringLiteral("appearanceMode")).toString(), appearance, timeout);
        }
        QCOMPARE(saveErrorsShown(), 0);
    }

    // Another program's binary settings file holding a string with U+0000 in it (valid in the format)
    // is read: the settings in it are in effect, its value is kept, and a change on the page writes it
    // back exactly as it was stored.
    void aBinaryFileWithUPlus0000InAStringIsReadAndWrittenBackExactly()
    {
        BinaryPlistBuilder b;
        const QByteArray label("tab\0name", 8);
        const QByteArray labelObject = QByteArray(1, char(0x58)) + label;
        startOnFile(b.build(b.dict({{b.ascii("didCompleteOnboarding"), b.boolean(true)},
                                    {b.ascii("appearanceMode"), b.ascii("dark")},
                                    {b.ascii("interactionMode"), b.ascii("click")},
                                    {b.ascii("com.other.label"), b.ascii(label)}})));
        SettingsPanel *page = openSettings();
        QVERIFY(page);
        QCOMPARE(page->findChild<SegmentedChoice *>(QStringLiteral("appearance"))->selected(), QStringLiteral("dark"));
        QCOMPARE(UserDefaults::standard().string(QStringLiteral("com.other.label")), QString::fromLatin1(label));
        QCOMPARE(shownToast(), QString());
        QVERIFY(!QFileInfo::exists(settingsFile() + QStringLiteral(".unreadable")));

        for (const QString &appearance : {QStringLiteral("light"), QStringLiteral("system"), QStringLiteral("dark")}) {
            choose(page, "appearance", appearance);
            QTRY_COMPARE_WITH_TIMEOUT(storedString(QStringLiteral("appearanceMode")), appearance, timeout);
            const QByteArray written = readTestFile(settingsFile());
            QVERIFY(written.startsWith("bplist00"));
            QVERIFY2(written.contains(labelObject), written.toHex().constData());
            QCOMPARE(storedValues().value(QStringLiteral("com.other.label")).toString(), QString::fromLatin1(label));
        }
        QCOMPARE(loadErrorsShown(), 0);
        QVERIFY(!QFileInfo::exists(settingsFile() + QStringLiteral(".unreadable")));
    }

    // A settings file that cannot be read is told in the window, at start and each time another
    // program leaves it so while the program runs, not only in the log.
    void aFileThatCannotBeReadIsToldInTheWindow()
    {
        startOnFile(QByteArray("bplist00 this is no property list at all"));
        QVERIFY(UserDefaults::standard().storedFileUnreadable());
        // Past the first-run steps again, which start over with the settings at their defaults.
        UserDefaults::standard().setValue(MainView::didCompleteOnboardingKey, true);
        SettingsPanel *page = openSettings();
        QVERIFY(page);
        QCOMPARE(shownToast(), localized(QStringLiteral("settings.loadError")));
        QVERIFY(QFileInfo::exists(settingsFile() + QStringLiteral(".unreadable")));
        // A change writes a good file again (the copy aside is kept).
        choose(page, "appearance", QStringLiteral("dark"));
        QTRY_COMPARE_WITH_TIMEOUT(storedString(QStringLiteral("appearanceMode")), QStringLiteral("dark"), timeout);
        auto *toasts = m_view->findChild<AppToastModifier *>();
        QString chosen = QStringLiteral("dark");
        for (int time = 1; time <= 3; ++time) {
            // The last toast has gone, as it does after a while.
            toasts->setToast(std::nullopt);
            QVERIFY(writeTestFile(settingsFile(), QByteArray("<?xml version=\"1.0\"?><plist><dict><key>x</key>")));
            QTRY_COMPARE_WITH_TIMEOUT(shownToast(), localized(QStringLiteral("settings.loadError")), timeout);
            QCOMPARE(loadErrorsShown(), time);
            // The settings in effect stay, and the next change writes them all again.
            QCOMPARE(UserDefaults::standard().string(QStringLiteral("appearanceMode")), chosen);
            chosen = time % 2 == 0 ? QStringLiteral("dark") : QStringLiteral("light");
            choose(page, "appearance", chosen);
            QTRY_COMPARE_WITH_TIMEOUT(storedString(QStringLiteral("appearanceMode")), chosen, timeout);
            QVERIFY(storedValues().value(MainView::didCompleteOnboardingKey).toBool());
            QVERIFY(!m_view->isShowingOnboarding());
        }
    }
};

KESTROWAN_TEST_MAIN(TestSettingsStorage)
#include "tst_settingsstorage.moc"
