// Settings changed on the settings page while their file cannot be written (a full disk, a folder
// that cannot be written): the user is told once, the change stays in effect and is written with the
// next change, or when the program quits, and the next start reads it back.
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
#include "tests/store/StoreTestSupport.h"
#include "tests/support/FullDisk.h"
#include "tests/support/PermissionOverride.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QDir>
#include <QSignalSpy>

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
};

KESTROWAN_TEST_MAIN(TestSettingsStorage)
#include "tst_settingsstorage.moc"
