// The running program, started on a disk that will not take its settings file, then given room and
// quit from its status menu: what it could not write while it ran is in the file when it has ended.
#include "Platform/PropertyList.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/ProgramOnX.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QProcess>

#include <csignal>
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
    ProgramOnX m_run;


private slots:
    void initTestCase()
    {
        QVERIFY2(m_run.windows.isValid(), "needs an X server");
        const QString dockFailure = m_run.startDock(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));
    }

    void cleanupTestCase()
    {
        m_run.end(timeout);
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

        QVERIFY(m_run.start(QStringLiteral(KESTROWAN_PROGRAM), ProgramOnX::environment(), [] {
            // The disk is full for the program only; a full disk fails a write, it ends no process.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit {};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = fullAt;
            setrlimit(RLIMIT_FSIZE, &limit);
        }));
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("Could not save preferences: "), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.statusItem(), timeout);
        QVERIFY(!storedSettings().contains("AppleLanguages"));

        // Room again, as when the user has freed some.
        rlimit room {};
        getrlimit(RLIMIT_FSIZE, &room);
        QCOMPARE(prlimit(pid_t(m_run.process.processId()), RLIMIT_FSIZE, &room, nullptr), 0);

        XTestPointer pointer;
        pointer.click(m_run.statusItem()->geometry.center());
        QTRY_VERIFY_WITH_TIMEOUT(m_run.shownMenu(), timeout);
        // "Quit", the last entry, just above the menu's lower frame.
        const QRect menu = m_run.shownMenu()->geometry;
        pointer.move(QPoint(menu.left() + 40, menu.bottom() - 14));
        pointer.click(QPoint(menu.left() + 40, menu.bottom() - 16));
        QVERIFY(m_run.process.waitForFinished(timeout));
        QCOMPARE(m_run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_run.process.exitCode(), 0);
        QCOMPARE(storedSettings().value("AppleLanguages").toList(), QVariantList{QString("en")});
        QVERIFY(storedSettings().value("didCompleteOnboarding").toBool());
    }
};

KESTROWAN_TEST_MAIN(TestSettingsAtQuit)
#include "tst_settingsquit_xvfb.moc"
