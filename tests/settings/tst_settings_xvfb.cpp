// The settings page of the running application on a real X server beside the stand-in Dock: the
// Dock icon switch adds and removes the program's running tile, and the appearance choice turns the
// open window dark at once.
#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/app/MainWindowFrame.h"
#include "Kestrowan/mainwindow/SettingsPanel.h"
#include "Kestrowan/mainwindow/SettingsWidgets.h"
#include "Platform/UserDefaults.h"
#include "tests/app/EmptyStandinDock.h"
#include "tests/support/TestMain.h"

#include <QProcess>
#include <QScreen>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int timeout = 20000;

// The mean brightness (0 to 255) of what the X server shows in `rect`.
int screenBrightness(const QRect &rect)
{
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height()).toImage();
    qint64 sum = 0;
    for (int y = 0; y < shot.height(); y += 4)
        for (int x = 0; x < shot.width(); x += 4)
            sum += qGray(shot.pixel(x, y));
    const qint64 samples = qint64((shot.height() + 3) / 4) * ((shot.width() + 3) / 4);
    return samples ? int(sum / samples) : 0;
}

} // namespace

class TestSettingsOnScreen : public QObject {
    Q_OBJECT
private:
    EmptyStandinDock m_dock;
    std::unique_ptr<KestrowanApp> m_app;

    bool hasRunningTile() { return m_dock.tiles.hasApplicationTile("Kestrowan"); }

    SettingsPanel *settings() const
    {
        return m_app->mainWindow() ? m_app->mainWindow()->findChild<SettingsPanel *>() : nullptr;
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName("Kestrowan");
        const QString dockFailure = m_dock.start(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));

        UserDefaults::standard().setValue("didCompleteOnboarding", true);
        UserDefaults::standard().setValue("appearanceMode", "light");
        m_app = std::make_unique<KestrowanApp>();
        m_app->launch();
        QTRY_VERIFY_WITH_TIMEOUT(m_app->mainWindow() && m_app->mainWindow()->isVisible(), timeout);
        m_app->appDelegate().handleRoute(KestrowanRoute::settings());
        QTRY_VERIFY_WITH_TIMEOUT(settings() && settings()->isVisible(), timeout);
    }

    void cleanupTestCase()
    {
        m_app.reset();
        m_dock.stop();
    }

    void theDockIconSwitchAddsAndRemovesTheTile()
    {
        QTRY_VERIFY_WITH_TIMEOUT(hasRunningTile(), timeout);
        auto *toggle = settings()->findChild<SettingsSwitch *>("showInDock");
        QVERIFY(toggle);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(UserDefaults::standard().boolean("showInDock"));
        QVERIFY(hasRunningTile());
        // Off: the page takes the icon away at once, even with the window open.
        QTest::mouseClick(toggle, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!hasRunningTile(), timeout);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(hasRunningTile(), timeout);
    }

    void choosingDarkRepaintsTheOpenWindowAtOnce()
    {
        MainWindowFrame *window = m_app->mainWindow();
        const QRect frame = window->geometry();
        QTRY_VERIFY_WITH_TIMEOUT(screenBrightness(frame) > 170, timeout);
        auto *appearance = settings()->findChild<SegmentedChoice *>("appearance");
        QTest::mouseClick(appearance->segment("dark"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screenBrightness(frame) < 80, timeout);
        QTest::mouseClick(appearance->segment("light"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screenBrightness(frame) > 170, timeout);
    }
};

KESTROWAN_TEST_MAIN(TestSettingsOnScreen)
#include "tst_settings_xvfb.moc"
