// The running program, started on a disk that will not take its settings file, then given room and
// quit from its status menu: what it could not write while it ran is in the file when it has ended.
#include "Platform/PropertyList.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/EmptyStandinDock.h"
#include "tests/app/X11Windows.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

constexpr int timeout = 20000;
// Room for the single-instance lock, none for the settings file (made larger below): every write of
// it fails as on a full disk.
constexpr rlim_t fullAt = 256;

QVariantMap storedSettings()
{
    const std::optional<QVariant> stored = PropertyList::parse(readTestFile(SettingsFileUserDefaults::fileForSuite(QString())));
    return stored ? stored->toMap() : QVariantMap();
}

} // namespace

class TestSettingsAtQuit : public QObject {
    Q_OBJECT
private:
    QProcess m_program;
    QString m_output;
    EmptyStandinDock m_dock;
    X11Windows m_windows;

    QString output()
    {
        m_output += QString::fromUtf8(m_program.readAll());
        return m_output;
    }

    std::optional<X11Windows::Window> statusItem() { return m_windows.statusItemOf(m_program.processId()); }
    std::optional<X11Windows::Window> shownMenu() { return m_windows.shownMenuOf(m_program.processId()); }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_windows.isValid(), "needs an X server");
        const QString dockFailure = m_dock.start(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));
    }

    void cleanupTestCase()
    {
        if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("KESTROWAN_TEST_SHOW_OUTPUT"))
            qInfo().noquote() << "The program's output:\n" << output();
        if (m_program.state() != QProcess::NotRunning) {
            m_program.terminate();
            if (!m_program.waitForFinished(timeout))
                m_program.kill();
        }
        m_dock.stop();
    }

    void whatCouldNotBeWrittenIsWrittenAtQuit()
    {
        {
            // A language chosen before: every start writes it where the system reads it.
            SettingsFileUserDefaults settings(QString{});
            settings.setValue("didCompleteOnboarding", true);
            settings.setValue("appLanguage", QString("en"));
            settings.setValue("note", QString(1000, u'n'));
            settings.synchronize();
        }
        QVERIFY(!storedSettings().contains("AppleLanguages"));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_LOGGING_RULES", "com.kestrowan.*=true");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        m_program.setProgram(QStringLiteral(KESTROWAN_PROGRAM));
        m_program.setProcessEnvironment(environment);
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.setChildProcessModifier([] {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            // The disk is full for the program only; a full disk fails a write, it ends no process.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit {};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fullAt;
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        m_program.start();
        QVERIFY(m_program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("Could not save preferences: "), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(statusItem(), timeout);
        QVERIFY(!storedSettings().contains("AppleLanguages"));

        // Room again, as when the user has freed some.
        rlimit room {};
        getrlimit(RLIMIT_FSIZE, &room);
        QCOMPARE(prlimit(pid_t(m_program.processId()), RLIMIT_FSIZE, &room, nullptr), 0);

        XTestPointer pointer;
        pointer.click(statusItem()->geometry.center());
        QTRY_VERIFY_WITH_TIMEOUT(shownMenu(), timeout);
        // "Quit", the last entry, just above the menu's lower frame.
        const QRect menu = shownMenu()->geometry;
        pointer.move(QPoint(menu.left() + 40, menu.bottom() - 14));
        pointer.click(QPoint(menu.left() + 40, menu.bottom() - 16));
        QVERIFY(m_program.waitForFinished(timeout));
        QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program.exitCode(), 0);
        QCOMPARE(storedSettings().value("AppleLanguages").toList(), QVariantList{QString("en")});
        QVERIFY(storedSettings().value("didCompleteOnboarding").toBool());
    }
};

KESTROWAN_TEST_MAIN(TestSettingsAtQuit)
#include "tst_settingsquit_xvfb.moc"
