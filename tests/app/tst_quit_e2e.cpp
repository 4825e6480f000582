// Quitting the real program from its status menu while it draws the thumbnails and previews of
// groups full of documents (some of them made to keep a decoder busy): it ends with status 0, at
// once, and leaves no helper process behind.

#include "Kestrowan/groups/AppGroup.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/EmptyStandinDock.h"
#include "tests/app/ProgramOnX.h"
#include "tests/app/X11Windows.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace {

constexpr int timeout = 30000;
constexpr quint32 kUp = 0xff52;
constexpr quint32 kReturn = 0xff0d;

// Process ids of the running helpers that draw one of the files in `folder`.
QList<qint64> helpersFor(const QString &folder)
{
    QList<qint64> pids;
    for (const QByteArray helper : {"kestrowan-thumbnail-helper", "kestrowan-icon-helper", "kestrowan-page-helper"})
        pids += processesWith(helper, QFile::encodeName(folder));
    return pids;
}

} // namespace

class TestQuitEndToEnd : public QObject {
    Q_OBJECT
private:
    ProgramOnX m_run;
    QTemporaryDir m_documents;
    QList<AppGroup> m_groups;

    // Documents of every kind the program draws pictures of: web pages and text its helper lays
    // out slowly, vector images, pictures, PDF pages and files that only look like them.
    QList<AppItem> documents(const QString &prefix)
    {
        const QList<QPair<QString, QByteArray>> kinds{
            {QStringLiteral("page.html"), HostileFiles::nestedTablesPage(18)},
            {QStringLiteral("drawing.svg"), "<svg xmlns='http://www.w3.org/2000/svg' width='40' height='40'><circle cx='20' cy='20' r='15'/></svg>"},
            {QStringLiteral("forms.pdf"), HostileFiles::nestedFormsPdf(9, 10)},
            {QStringLiteral("huge.jpg"), HostileFiles::progressiveJpegHeader(30000)},
            {QStringLiteral("notes.odt"), "not really a document"},
            {QStringLiteral("deck.pptx"), "not really a presentation"},
        };
        QList<AppItem> items;
        for (int i = 0; i < 8; ++i) {
            for (const auto &[name, contents] : kinds) {
                const QString path = m_documents.filePath(QStringLiteral("%1-%2-%3").arg(prefix).arg(i).arg(name));
                writeTestFile(path, contents);
                items.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path});
            }
        }
        return items;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_run.windows.isValid(), "needs an X server");
        QVERIFY(m_documents.isValid());
        const QString dockFailure = m_run.startDock(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));
        for (const QString &name : {QStringLiteral("Reading"), QStringLiteral("Pictures")}) {
            AppGroup group;
            group.id = QUuid::createUuid();
            group.name = name;
            group.apps = documents(name);
            m_groups.append(group);
        }
        {
            // Past the first run, so the window shows the groups.
            SettingsFileUserDefaults defaults(QString{});
            defaults.setValue("didCompleteOnboarding", true);
            defaults.synchronize();
        }
        const QString storage = QDir::homePath() + QStringLiteral("/.local/share/Kestrowan");
        QVERIFY(QDir().mkpath(storage));
        writeTestFile(storage + QStringLiteral("/groups.json"), QJsonDocument(AppGroup::listToJson(m_groups)).toJson());

        QVERIFY(m_run.start(QStringLiteral(KESTROWAN_PROGRAM)));
    }

    void cleanupTestCase()
    {
        m_run.end(timeout, false);
    }

    void quitWhileThumbnailsAreDrawn()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_run.output().contains("Runtime bootstrap complete"), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(m_run.statusItem(), timeout);
        // A group's editor asks for the thumbnails of all its documents, as a user opening it does.
        QProcess second;
        second.setProcessEnvironment(ProgramOnX::environment());
        second.start(QStringLiteral(KESTROWAN_PROGRAM), {QStringLiteral("kestrowan://open/group/")
                                                         + m_groups.first().id.toString(QUuid::WithoutBraces)});
        QVERIFY(second.waitForFinished(timeout));
        QCOMPARE(second.exitCode(), 0);
        // Helpers are at work for the program, the page helper among them.
        QTRY_VERIFY_WITH_TIMEOUT(!processesWith("kestrowan-page-helper", QFile::encodeName(m_documents.path())).isEmpty(), timeout);

        // Quit, the status menu's last entry: Up from the top wraps to it, Return chooses it. A menu
        // that has not taken the keyboard yet misses the keys, and is asked again.
        XTestPointer pointer;
        XTestKeyboard keyboard;
        QVERIFY(keyboard.isValid());
        QElapsedTimer quitting;
        for (int attempt = 0; attempt < 10 && m_run.process.state() != QProcess::NotRunning; ++attempt) {
            if (!m_run.shownMenu()) {
                QTRY_VERIFY_WITH_TIMEOUT(m_run.statusItem() || m_run.process.state() == QProcess::NotRunning, timeout);
                if (m_run.process.state() == QProcess::NotRunning)
                    break;
                pointer.click(m_run.statusItem()->geometry.center());
                QTRY_VERIFY_WITH_TIMEOUT(m_run.shownMenu() || m_run.process.state() == QProcess::NotRunning, timeout);
            }
            keyboard.chord({}, kUp);
            quitting.start();
            keyboard.chord({}, kReturn);
            if (m_run.process.state() != QProcess::NotRunning)
                m_run.process.waitForFinished(3000);
        }
        if (m_run.process.state() != QProcess::NotRunning)
            m_run.process.waitForFinished(timeout);
        QCOMPARE(m_run.process.state(), QProcess::NotRunning);
        const qint64 tookMs = quitting.elapsed();
        qInfo("quitting took %lld ms; status %d, %s", tookMs, m_run.process.exitCode(),
              m_run.process.exitStatus() == QProcess::NormalExit ? "exited" : "crashed");
        QCOMPARE(m_run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_run.process.exitCode(), 0);
        // No helper outlives the program.
        QTRY_VERIFY_WITH_TIMEOUT(helpersFor(m_documents.path()).isEmpty(), timeout);
    }
};

KESTROWAN_TEST_MAIN(TestQuitEndToEnd)
#include "tst_quit_e2e.moc"
