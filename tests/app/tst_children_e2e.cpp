// The real program's children, seen from outside while it draws a group of documents: a desktop
// thumbnailer (planted in the user's thumbnailer folder, as any program can) runs under the
// helper's limits and sees none of the program's descriptors; the children end with the program
// when it is killed, and a logout's SIGTERM quits it as its menu does. The helper is taken only
// from beside the program, and only from a folder nobody else can write.
#include "Kestrowan/groups/AppGroup.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/EmptyStandinDock.h"
#include "tests/app/ProgramProcess.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>

namespace {

constexpr int timeout = 60000;

// What the descriptors of a process lead to ("pipe:[123]", "socket:[45]", a path).
QSet<QString> descriptorTargets(qint64 pid)
{
    QSet<QString> targets;
    const QDir folder(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &name : folder.entryList(QDir::NoDotAndDotDot | QDir::System))
        targets.insert(QFile::symLinkTarget(folder.filePath(name)).section(QLatin1Char('/'), -1));
    return targets;
}

qint64 pidIn(const QString &file)
{
    return readTestFile(file).trimmed().toLongLong();
}

// The process ids a file holds, one a line.
QList<qint64> pidsIn(const QString &file)
{
    QList<qint64> pids;
    for (const QByteArray &line : readTestFile(file).split('\n')) {
        if (const qint64 pid = line.trimmed().toLongLong(); pid > 0)
            pids.append(pid);
    }
    return pids;
}

// The signals of a "/proc/<pid>/status" mask field, less the two below SIGRTMIN that the C library
// keeps for itself.
quint64 ordinarySignals(const QByteArray &status, const QByteArray &field)
{
    const qsizetype at = status.indexOf(field);
    if (at < 0)
        return ~quint64(0);
    const qsizetype end = status.indexOf('\n', at);
    const quint64 mask = status.mid(at + field.size(), end - at - field.size()).trimmed().toULongLong(nullptr, 16);
    return mask & ~(quint64(3) << 31);
}

// Puts at `path` a helper that sets itself up as the real ones do and then waits for ever without
// using the processor, as one reading a hung network mount does: its limits never end it.
bool placeWaitingHelper(const QString &path)
{
    return QFile::copy(QStringLiteral(KESTROWAN_WAITING_HELPER), path);
}

} // namespace

class TestChildrenEndToEnd : public QObject {
    Q_OBJECT
private:
    QProcess m_program;
    QString m_output;
    EmptyStandinDock m_dock;
    QTemporaryDir m_documents;
    QTemporaryDir m_records;
    // The program's temporary folder.
    QTemporaryDir m_temporary;
    AppGroup m_group;

    QString output()
    {
        m_output += QString::fromUtf8(m_program.readAll());
        return m_output;
    }

    QProcessEnvironment programEnvironment()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_LOGGING_RULES", "com.kestrowan.*=true");
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("KESTROWAN_TEST_HELPER_RECORDS", m_records.path());
        environment.insert("TMPDIR", m_temporary.path());
        return environment;
    }

    // The folders a thumbnail is drawn into, in the program's temporary folder.
    QStringList scratchFolders() const
    {
        return QDir(m_temporary.path()).entryList({QStringLiteral("Kestrowan-*")}, QDir::AllEntries | QDir::Hidden | QDir::System);
    }

    QString record(const QString &name) const { return m_records.filePath(name); }

    // The page helpers drawing the PDF file's preview, once one runs (none within the deadline: an
    // empty list).
    QList<qint64> pageHelpersAtWork()
    {
        QList<qint64> pids;
        const bool running = QTest::qWaitFor([&] {
            pids = processesWith("kestrowan-page-helper", QFile::encodeName(m_documents.filePath(QStringLiteral("forms.pdf"))));
            return !pids.isEmpty();
        }, timeout);
        return running ? pids : QList<qint64>{};
    }

    // Starts `program` and opens the group's editor, which asks for the thumbnails of its documents.
    bool startAndShowGroup(const QString &program)
    {
        m_output.clear();
        if (!ProgramProcess::start(m_program, program, programEnvironment()))
            return false;
        if (!QTest::qWaitFor([this] { return output().contains("Runtime bootstrap complete"); }, timeout))
            return false;
        QProcess second;
        second.setProcessEnvironment(programEnvironment());
        second.start(program, {QStringLiteral("kestrowan://open/group/") + m_group.id.toString(QUuid::WithoutBraces)});
        return second.waitForFinished(timeout) && second.exitCode() == 0;
    }

    bool quitProgram()
    {
        if (m_program.state() == QProcess::NotRunning)
            return true;
        ::kill(pid_t(m_program.processId()), SIGTERM);
        return m_program.waitForFinished(timeout);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_documents.isValid());
        QVERIFY(m_records.isValid());
        QVERIFY(m_temporary.isValid());
        const QString dockFailure = m_dock.start(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));

        // A thumbnailer for presentations that tells what it sees, starts a program in a session of
        // its own, and then waits for ever.
        const QString script = record(QStringLiteral("thumbnailer.sh"));
        writeTestFile(script, "ls -l /proc/$$/fd/ > '" + record(QStringLiteral("fd")).toUtf8() + "'\n"
                              "setsid sleep 3600 < /dev/null > /dev/null 2>&1 &\n"
                              "echo $! > '" + record(QStringLiteral("session.pid")).toUtf8() + "'\n"
                              "echo $$ > '" + record(QStringLiteral("pid.new")).toUtf8() + "'\n"
                              "mv '" + record(QStringLiteral("pid.new")).toUtf8() + "' '" + record(QStringLiteral("pid")).toUtf8() + "'\n"
                              "exec sleep 3600\n");
        // Started through a Perl script, which keeps the signal mask it was given (a shell clears its
        // own), so that what the thumbnailer was started with can be read.
        const QString starter = record(QStringLiteral("thumbnailer.pl"));
        writeTestFile(starter, "open(my $in, '<', '/proc/self/status') or die;\n"
                               "open(my $out, '>', '" + record(QStringLiteral("status")).toUtf8() + "') or die;\n"
                               "print {$out} <$in>;\nclose($out);\n"
                               "exec('" + QStandardPaths::findExecutable(QStringLiteral("sh")).toUtf8() + "', '" + script.toUtf8()
                                   + "', @ARGV);\n");
        const QString thumbnailers = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                     + QStringLiteral("/thumbnailers");
        QVERIFY(QDir().mkpath(thumbnailers));
        writeTestFile(thumbnailers + QStringLiteral("/recording.thumbnailer"),
                      "[Thumbnailer Entry]\nExec=" + QStandardPaths::findExecutable(QStringLiteral("perl")).toUtf8() + " "
                          + starter.toUtf8() + " %i %o\nMimeType=application/vnd.oasis.opendocument.presentation;\n");

        m_group.id = QUuid::createUuid();
        m_group.name = QStringLiteral("Documents");
        const QList<QPair<QString, QByteArray>> kinds{
            {QStringLiteral("deck.odp"), "PK not really a presentation"},
            {QStringLiteral("forms.pdf"), HostileFiles::nestedFormsPdf(9, 10)},
            {QStringLiteral("huge.jpg"), HostileFiles::progressiveJpegHeader(30000)},
        };
        for (const auto &[name, contents] : kinds) {
            const QString path = m_documents.filePath(name);
            writeTestFile(path, contents);
            m_group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, name, path});
        }
        {
            SettingsFileUserDefaults defaults(QString{});
            defaults.setValue("didCompleteOnboarding", true);
            defaults.synchronize();
        }
        const QString storage = QDir::homePath() + QStringLiteral("/.local/share/Kestrowan");
        QVERIFY(QDir().mkpath(storage));
        writeTestFile(storage + QStringLiteral("/groups.json"), QJsonDocument(AppGroup::listToJson({m_group})).toJson());
    }

    void cleanup()
    {
        if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("KESTROWAN_TEST_SHOW_OUTPUT"))
            qInfo().noquote() << "The program's output:\n" << output();
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(timeout);
        }
        for (const QString &name : {QStringLiteral("pid"), QStringLiteral("session.pid")}) {
            if (const qint64 pid = pidIn(record(name)); pid > 0 && processIsRunning(pid))
                ::kill(pid_t(pid), SIGKILL);
            QFile::remove(record(name));
        }
    }

    void cleanupTestCase() { m_dock.stop(); }

    // The thumbnailer runs bounded and sees only its standard streams; SIGTERM quits the program as
    // its menu does (status 0), and nothing it started stays, not even a program in a session of
    // its own.
    void childrenAreBoundedAndGoWhenTheProgramQuits()
    {
        QVERIFY(startAndShowGroup(QStringLiteral(KESTROWAN_PROGRAM)));
        // The PDF file's preview is drawn by the page helper, which the nested forms keep busy.
        const QList<qint64> pageHelpers = pageHelpersAtWork();
        QVERIFY(!pageHelpers.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record(QStringLiteral("pid"))), timeout);
        const qint64 thumbnailer = pidIn(record(QStringLiteral("pid")));
        const qint64 session = pidIn(record(QStringLiteral("session.pid")));
        QVERIFY(thumbnailer > 0 && session > 0);

        const QByteArray limits = readTestFile(QStringLiteral("/proc/%1/limits").arg(thumbnailer));
        QCOMPARE(processLimit(limits, "Max address space"), QByteArray("1073741824"));
        QCOMPARE(processLimit(limits, "Max cpu time"), QByteArray("8"));
        // The supervisor's waiting for its signals is not the thumbnailer's: none is blocked.
        QCOMPARE(ordinarySignals(readTestFile(record(QStringLiteral("status"))), "SigBlk:"), 0u);
        // None of the program's pipes, sockets or files reached the child.
        const QSet<QString> programs = descriptorTargets(m_program.processId());
        const QByteArray seen = readTestFile(record(QStringLiteral("fd")));
        QVERIFY(!seen.isEmpty());
        for (const QString &target : programs) {
            if (target.startsWith(QLatin1String("pipe:")) || target.startsWith(QLatin1String("socket:"))
                || target.startsWith(QLatin1String("anon_inode:")))
                QVERIFY2(!seen.contains(target.toUtf8()), qPrintable(target + QStringLiteral(" reached the child:\n") + seen));
        }

        QVERIFY(quitProgram());
        QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_program.exitCode(), 0);
        QVERIFY(output().contains("Quitting on signal 15"));
        QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(thumbnailer), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(session), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(processesWith("kestrowan-thumbnail-helper", QFile::encodeName(m_documents.path())).isEmpty(), timeout);
        // The photo's preview is drawn by the icon helper.
        QTRY_VERIFY_WITH_TIMEOUT(processesWith("kestrowan-icon-helper", QFile::encodeName(m_documents.path())).isEmpty(), timeout);
        for (const qint64 pid : pageHelpers)
            QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(pid), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(processesWith("kestrowan-page-helper", QFile::encodeName(m_documents.path())).isEmpty(), timeout);
    }

    // Killed outright, the program cannot end its children: they end themselves.
    void childrenDieWithAKilledProgram()
    {
        QVERIFY(startAndShowGroup(QStringLiteral(KESTROWAN_PROGRAM)));
        const QList<qint64> pageHelpers = pageHelpersAtWork();
        QVERIFY(!pageHelpers.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record(QStringLiteral("pid"))), timeout);
        const qint64 thumbnailer = pidIn(record(QStringLiteral("pid")));
        QVERIFY(thumbnailer > 0);
        // The thumbnailer draws into a folder of its own, which goes with it.
        QVERIFY(!scratchFolders().isEmpty());
        m_program.kill();
        QVERIFY(m_program.waitForFinished(timeout));
        QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(thumbnailer), timeout);
        QTRY_VERIFY2_WITH_TIMEOUT(scratchFolders().isEmpty(), qPrintable(scratchFolders().join(u' ')), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(processesWith("kestrowan-thumbnail-helper", QFile::encodeName(m_documents.path())).isEmpty(), timeout);
        // The photo's preview is drawn by the icon helper.
        QTRY_VERIFY_WITH_TIMEOUT(processesWith("kestrowan-icon-helper", QFile::encodeName(m_documents.path())).isEmpty(), timeout);
        for (const qint64 pid : pageHelpers)
            QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(pid), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(processesWith("kestrowan-page-helper", QFile::encodeName(m_documents.path())).isEmpty(), timeout);
    }

    // A helper waiting on a file (a network mount that hangs, say) uses no processor, so its limits
    // never end it, and the program killed outright cannot: only the program's death can. Quit, the
    // program ends its helpers itself.
    void waitingHelpersDieWithTheProgram_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("killed") << true;
        QTest::newRow("quit") << false;
    }

    void waitingHelpersDieWithTheProgram()
    {
        QFETCH(bool, killed);
        QTemporaryDir alone;
        QVERIFY(QFile::copy(QStringLiteral(KESTROWAN_PROGRAM), alone.filePath(QStringLiteral("Kestrowan"))));
        // The thumbnail helper draws the presentation's thumbnail (through the desktop's
        // thumbnailer), the page helper the PDF file's preview.
        const QString started = record(QStringLiteral("kestrowan-thumbnail-helper"));
        const QString pagesStarted = record(QStringLiteral("kestrowan-page-helper"));
        QFile::remove(started);
        QFile::remove(pagesStarted);
        QVERIFY(placeWaitingHelper(alone.filePath(QStringLiteral("kestrowan-thumbnail-helper"))));
        QVERIFY(placeWaitingHelper(alone.filePath(QStringLiteral("kestrowan-page-helper"))));
        const auto helpers = [&started, &pagesStarted] { return pidsIn(started) + pidsIn(pagesStarted); };
        const auto endLeftovers = qScopeGuard([&helpers] {
            for (const qint64 pid : helpers()) {
                if (processIsRunning(pid))
                    ::kill(pid_t(pid), SIGKILL);
            }
        });

        QVERIFY(startAndShowGroup(alone.filePath(QStringLiteral("Kestrowan"))));
        QTRY_VERIFY_WITH_TIMEOUT(!pidsIn(started).isEmpty(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(!pidsIn(pagesStarted).isEmpty(), timeout);
        // Each came to life in a group of its own, with no signal blocked or ignored (the program
        // ignores some, and a supervisor blocks those it waits for), and with its standard streams
        // alone.
        for (const qint64 pid : helpers()) {
            const QByteArray start = readTestFile(record(QStringLiteral("%1.start").arg(pid)));
            QCOMPARE(ordinarySignals(start, "SigBlk:"), 0u);
            QCOMPARE(ordinarySignals(start, "SigIgn:"), 0u);
            QVERIFY2(start.contains("Group: " + QByteArray::number(pid) + "\n"), start.constData());
            QVERIFY2(start.contains("Descriptors: 0 1 2\n"), start.constData());
        }
        if (killed) {
            m_program.kill();
            QVERIFY(m_program.waitForFinished(timeout));
        } else {
            QVERIFY(quitProgram());
            QCOMPARE(m_program.exitCode(), 0);
        }
        for (const qint64 pid : helpers())
            QTRY_VERIFY2_WITH_TIMEOUT(!processIsRunning(pid), qPrintable(QStringLiteral("helper %1 outlived the program").arg(pid)), timeout);
        // Nothing of the thumbnails being drawn is left on disk.
        QVERIFY2(scratchFolders().isEmpty(), qPrintable(scratchFolders().join(u' ')));
    }

    // A copy of the program finds its helpers beside itself only: not at the path of the build it
    // came from, and not in a folder anybody can write.
    void helperOnlyFromBesideTheProgram()
    {
        const QString built = QStringLiteral(KESTROWAN_PROGRAM);
        const QString helper = QFileInfo(built).dir().filePath(QStringLiteral("kestrowan-thumbnail-helper"));
        const QString pageHelper = QFileInfo(built).dir().filePath(QStringLiteral("kestrowan-page-helper"));
        QTemporaryDir alone;
        QVERIFY(QFile::copy(built, alone.filePath(QStringLiteral("Kestrowan"))));
        QVERIFY(startAndShowGroup(alone.filePath(QStringLiteral("Kestrowan"))));
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("No thumbnail helper beside"), timeout);
        QVERIFY(quitProgram());
        QVERIFY(processesWith("kestrowan-thumbnail-helper", QFile::encodeName(m_documents.path())).isEmpty());
        QFile::remove(record(QStringLiteral("pid")));

        QTemporaryDir open;
        QVERIFY(QFile::copy(built, open.filePath(QStringLiteral("Kestrowan"))));
        QVERIFY(QFile::copy(helper, open.filePath(QStringLiteral("kestrowan-thumbnail-helper"))));
        QVERIFY(QFile::copy(pageHelper, open.filePath(QStringLiteral("kestrowan-page-helper"))));
        QVERIFY(::chmod(QFile::encodeName(open.path()).constData(), 0777) == 0);
        QVERIFY(startAndShowGroup(open.filePath(QStringLiteral("Kestrowan"))));
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("Not using the thumbnail helper"), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("Not using the page helper"), timeout);
        QVERIFY(quitProgram());
        QVERIFY(processesWith("kestrowan-thumbnail-helper", QFile::encodeName(m_documents.path())).isEmpty());
        QVERIFY(processesWith("kestrowan-page-helper", QFile::encodeName(m_documents.path())).isEmpty());
        QFile::remove(record(QStringLiteral("pid")));

        // Installed: the program in "bin", its helpers in "libexec/kestrowan".
        QTemporaryDir installed;
        QVERIFY(QDir().mkpath(installed.filePath(QStringLiteral("bin"))));
        QVERIFY(QDir().mkpath(installed.filePath(QStringLiteral("libexec/kestrowan"))));
        QVERIFY(QFile::copy(built, installed.filePath(QStringLiteral("bin/Kestrowan"))));
        for (const QString &name : {QStringLiteral("kestrowan-thumbnail-helper"), QStringLiteral("kestrowan-icon-helper"),
                                   QStringLiteral("kestrowan-page-helper")})
            QVERIFY(QFile::copy(QFileInfo(built).dir().filePath(name), installed.filePath(QStringLiteral("libexec/kestrowan/") + name)));
        QVERIFY(startAndShowGroup(installed.filePath(QStringLiteral("bin/Kestrowan"))));
        // The PDF file's preview is drawn by the installed page helper.
        QTRY_VERIFY_WITH_TIMEOUT(!processesWith(QFile::encodeName(installed.filePath(QStringLiteral("libexec/kestrowan/kestrowan-page-helper"))),
                                                QFile::encodeName(m_documents.filePath(QStringLiteral("forms.pdf"))))
                                      .isEmpty(),
                                 timeout);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record(QStringLiteral("pid"))), timeout);
        QVERIFY(!output().contains(" helper beside"));
        QVERIFY(!output().contains("Not using the"));
        QVERIFY(quitProgram());
        QCOMPARE(m_program.exitCode(), 0);
    }
};

KESTROWAN_TEST_MAIN(TestChildrenEndToEnd)
#include "tst_children_e2e.moc"
