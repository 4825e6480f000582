// Opening items from the popup: openers as the group's rules give them (never for applications),
// a missing opener falling back to the default application, failures that record nothing, the usage
// signals, and launch-all over what the popup shows.
#include "Kestrowan/popup/PopupContentModel.h"
#include "Platform/VirtualKeys.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "Platform/PropertyList.h"
#include "Platform/linux/DesktopExec.h"
#include "Platform/linux/DesktopWorkspaceOpener.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>


using namespace PopupTest;
using Request = FakeWorkspaceOpener::Request;
using Parameters = QMap<QString, QString>;

class PopupLaunchTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_viewer; // an opener application that exists
    FakeWorkspaceOpener m_opener;
    SignalRecorder m_signals;
    RecordingItemStates m_states;
    std::unique_ptr<PopupLauncher> m_launcher;
    int m_dismissals = 0;

    std::unique_ptr<PopupContentModel> model(const AppGroup &group)
    {
        PopupContentModel::Inputs inputs;
        inputs.group = group;
        inputs.onDismiss = [this] { ++m_dismissals; };
        return std::make_unique<PopupContentModel>(inputs, *m_launcher);
    }

private slots:
    void initTestCase()
    {
        m_viewer = m_dir.filePath(QStringLiteral("viewer.desktop"));
        QFile file(m_viewer);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    void init()
    {
        m_opener.requests.clear();
        m_opener.failing.clear();
        m_signals.sent.clear();
        m_states.opened.clear();
        m_launcher = std::make_unique<PopupLauncher>(&m_states, m_signals.sink(), &m_opener);
        m_dismissals = 0;
    }

    void applicationsIgnoreOpeners()
    {
        const AppItem app = application(QStringLiteral("Editor"));
        AppGroup group = PopupTest::group(QStringLiteral("Tools"), {app});
        group.customOpenerPath = m_viewer;
        group.openerRules = OpenerRules{{}, {{app.id.toString(QUuid::WithoutBraces).toUpper(), m_viewer}}, m_viewer};
        QCOMPARE(PopupLauncher::openerPath(group, app), std::nullopt);
        QVERIFY(m_launcher->launchItem(group, app, false).opened);
        QCOMPARE(m_opener.requests, QList<Request>({{app.itemURL(), std::nullopt, true}}));
        QCOMPARE(m_states.opened, QStringList({"Editor"}));
        QCOMPARE(m_signals.sent,
                 (QList<QPair<QString, Parameters>>{{"app.launched_from_popup", {{"app_name", "Editor"}, {"group_name", "Tools"}}}}));
    }

    void documentsGoThroughTheirOpener()
    {
        const AppItem report = document(QStringLiteral("Report"), QStringLiteral("/docs/Report.PDF"));
        const AppItem page = link(QStringLiteral("Site"), QStringLiteral("https://example.org/"));
        AppGroup group = PopupTest::group(QStringLiteral("Docs"), {report, page});
        group.openerRules = OpenerRules{{{QStringLiteral("pdf"), m_viewer}}, {}, std::nullopt};
        auto popup = model(group);
        popup->handleKey(VirtualKeys::keyA, 0, QStringLiteral("rep")); // a search is in use
        popup->handleKey(VirtualKeys::keyReturn, 0, {});
        QCOMPARE(m_opener.requests, QList<Request>({{report.itemURL(), m_viewer, true}}));
        QCOMPARE(m_signals.sent.last().second.value(QStringLiteral("search_used")), QStringLiteral("true"));
        QCOMPARE(m_dismissals, 1);
        // No rule for the link: the desktop's own way, and no "search_used" without a search.
        QVERIFY(m_launcher->launchItem(group, page, false).opened);
        QCOMPARE(m_opener.requests.last(), (Request{page.itemURL(), std::nullopt, true}));
        QVERIFY(!m_signals.sent.last().second.contains(QStringLiteral("search_used")));
    }

    void missingOpenerFallsBack()
    {
        const AppItem notes = document(QStringLiteral("Notes"), QStringLiteral("/docs/notes.txt"));
        AppGroup group = PopupTest::group(QStringLiteral("Docs"), {notes});
        group.customOpenerPath = m_dir.filePath(QStringLiteral("removed.desktop"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Opener .*removed\\.desktop is missing; opening Notes with the default application$")));
        QVERIFY(m_launcher->launchItem(group, notes, false).opened);
        QCOMPARE(m_opener.requests, QList<Request>({{notes.itemURL(), std::nullopt, true}}));
        QCOMPARE(m_states.opened, QStringList({"Notes"}));
    }

    void failedOpenRecordsNothing()
    {
        const AppItem gone = document(QStringLiteral("Gone"), QStringLiteral("/docs/gone.txt"));
        const AppItem other = application(QStringLiteral("Other"));
        m_opener.failing.insert(gone.itemURL(), QStringLiteral("/docs/gone.txt does not exist"));
        auto popup = model(PopupTest::group(QStringLiteral("Docs"), {gone, other}));
        QTest::ignoreMessage(QtCriticalMsg, "Failed to open Gone: /docs/gone.txt does not exist");
        popup->handleKey(VirtualKeys::keyDownArrow, 0, {});
        popup->handleKey(VirtualKeys::keyReturn, 0, {});
        QCOMPARE(m_opener.requests.size(), 1);
        QVERIFY(m_states.opened.isEmpty());
        QVERIFY(m_signals.sent.isEmpty());
        QCOMPARE(m_dismissals, 0); // the popup stays, focus and all
        QCOMPARE(popup->focusedIndex(), std::optional<int>(0));
    }

    void launchAllUnderASearch()
    {
        AppGroup group = PopupTest::group(QStringLiteral("Mixed"),
                                          {application(QStringLiteral("Mail")), application(QStringLiteral("Maps")),
                                           application(QStringLiteral("Music")), document(QStringLiteral("Mail notes"), QStringLiteral("/docs/m.txt")),
                                           link(QStringLiteral("Mail web"), QStringLiteral("https://mail.example.org"))});
        group.customOpenerPath = m_viewer;
        auto popup = model(group);
        popup->handleKey(VirtualKeys::keyA, 0, QStringLiteral("mai"));
        popup->launchAllAndDismiss();
        QCOMPARE(m_states.opened, QStringList({"Mail"}));
        QCOMPARE(m_opener.requests, QList<Request>({{group.apps.at(0).itemURL(), std::nullopt, false}}));
        QCOMPARE(m_signals.sent,
                 (QList<QPair<QString, Parameters>>{{"workspace.launch_all", {{"group_name", "Mixed"}, {"app_count", "1"}}}}));
        QCOMPARE(m_dismissals, 1);
    }

    void launchAllWithNoApplication()
    {
        auto popup = model(PopupTest::group(QStringLiteral("Docs"), {document(QStringLiteral("A"), QStringLiteral("/docs/a.txt")),
                                                                   link(QStringLiteral("B"), QStringLiteral("https://b.example"))}));
        popup->handleKey(VirtualKeys::keyA, VirtualKeys::commandFlag, QStringLiteral("a"));
        QVERIFY(m_opener.requests.isEmpty());
        QCOMPARE(m_signals.sent,
                 (QList<QPair<QString, Parameters>>{{"workspace.launch_all", {{"group_name", "Docs"}, {"app_count", "0"}}}}));
        QCOMPARE(m_dismissals, 1);
    }

    void desktopOpener()
    {
        const QString entry = m_dir.filePath(QStringLiteral("reader.desktop"));
        QFile entryFile(entry);
        QVERIFY(entryFile.open(QIODevice::WriteOnly));
        entryFile.write("[Desktop Entry]\nType=Application\nName=Reader\nExec=/bin/true --open %f\n");
        entryFile.close();
        const QString bundle = m_dir.filePath(QStringLiteral("Viewer.app"));
        QVERIFY(QDir().mkpath(bundle + QStringLiteral("/Contents/MacOS")));
        QFile plist(bundle + QStringLiteral("/Contents/Info.plist"));
        QVERIFY(plist.open(QIODevice::WriteOnly));
        plist.write(PropertyList::toXml(QVariantMap{{QStringLiteral("CFBundleExecutable"), QStringLiteral("viewer")}}));
        plist.close();
        const QString document = m_dir.filePath(QStringLiteral("a b.txt"));
        QFile(document).open(QIODevice::WriteOnly);
        const QUrl url = QUrl::fromLocalFile(document);

        QCOMPARE(DesktopWorkspaceOpener::applicationCommand(entry, {url}), QStringList({"/bin/true", "--open", document}));
        QCOMPARE(DesktopWorkspaceOpener::applicationCommand(bundle, {url}),
                 QStringList({bundle + "/Contents/MacOS/viewer", document}));
        QCOMPARE(DesktopWorkspaceOpener::applicationCommand(m_dir.filePath(QStringLiteral("none.desktop")), {url}), QStringList());

        DesktopWorkspaceOpener opener;
        QVERIFY(opener.open(url, entry, true).opened);
        const OpenOutcome missingFile = opener.open(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("gone.txt"))), entry, true);
        QVERIFY(!missingFile.opened);
        QVERIFY(missingFile.error.contains(QStringLiteral("does not exist")));
        const OpenOutcome missingApplication = opener.open(url, m_dir.filePath(QStringLiteral("none.desktop")), true);
        QVERIFY(!missingApplication.opened);
        // The bundle's executable was never made: the start fails and says so.
        QVERIFY(!opener.open(url, bundle, false).opened);
    }

    // An application the user starts outlives the program, but takes none of its descriptors
    // along, even one a library left without close-on-exec; nor its terminal: what it says is its
    // own, not raw lines among the program's.
    void applicationsTakeNoDescriptorOfTheProgram()
    {
        const InheritablePipe leaked;
        QVERIFY(leaked.isValid());
        const QString seen = m_dir.filePath(QStringLiteral("descriptors"));
        const QString entry = m_dir.filePath(QStringLiteral("lister.desktop"));
        QFile entryFile(entry);
        QVERIFY(entryFile.open(QIODevice::WriteOnly));
        entryFile.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Lister\n"
                                       "Exec=/bin/sh -c \"ls -l /proc/$$/fd/ | cat > %1.part; mv %1.part %1\"\n").arg(seen).toUtf8());
        entryFile.close();
        DesktopWorkspaceOpener opener;
        for (int launch = 0; launch < 3; ++launch) {
            QFile::remove(seen);
            QVERIFY(opener.open(QUrl::fromLocalFile(entry), std::nullopt, true).opened);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(seen), 30000);
            QFile listing(seen);
            QVERIFY(listing.open(QIODevice::ReadOnly));
            const QByteArray descriptors = listing.readAll();
            QVERIFY(descriptors.contains(" 0 -> "));
            QVERIFY2(!descriptors.contains(leaked.name()), descriptors.constData());
            QVERIFY2(descriptors.contains(" 1 -> /dev/null") && descriptors.contains(" 2 -> /dev/null"), descriptors.constData());
        }
    }

    // A link no desktop entry takes goes to xdg-open, which starts the handler it finds: the user's
    // browser here, which lives on after xdg-open and the program. It writes what it likes for as
    // long as it runs, so it holds none of the program's streams: its own three are /dev/null, and
    // no file of ours is left in the temporary folder.
    void anApplicationOpenedThroughXdgOpenHoldsNoStreamOfTheProgram()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
            QSKIP("xdg-open is not installed (scripts/setup.sh installs it)");
        WaitingApplication browser(m_dir.path());
        QVERIFY(browser.isValid());
        const QString temporary = m_dir.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(temporary));

        // xdg-open in its generic mode, as on a desktop it does not know, finds the browser in
        // $BROWSER; the program's own lookup never reads it.
        ScopedEnvironment environment;
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
            environment.set(name, {});
        environment.set("BROWSER", browser.program().toUtf8());
        environment.set("TMPDIR", temporary.toUtf8());
        DesktopWorkspaceOpener opener;
        for (int launch = 0; launch < 2; ++launch) {
            browser.expectStart();
            QVERIFY(opener.open(QUrl(QStringLiteral("https://example.invalid/page-%1").arg(launch)), std::nullopt, true).pending);
            QVERIFY(browser.waitForStart(30000) > 0);
            QCOMPARE(browser.descriptors(), QStringLiteral("0 -> /dev/null; 1 -> /dev/null; 2 -> /dev/null"));
            // Nor is it in the program's group or session: a Ctrl-C in the program's terminal, or
            // the program's group ended, leaves it be.
            const std::optional<WaitingApplication::Belonging> belonging = browser.belonging();
            QVERIFY(belonging.has_value());
            QVERIFY2(belonging->group != qint64(::getpgrp()) && belonging->session != qint64(::getsid(0)),
                     qPrintable(QStringLiteral("group %1, session %2; the program's are %3 and %4")
                                    .arg(belonging->group).arg(belonging->session).arg(::getpgrp()).arg(::getsid(0))));
            browser.end();
            QCOMPARE(QDir(temporary).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList());
        }
    }

    void terminalEntriesRunInTheTerminal()
    {
        // A terminal of our own that notes how it was asked and runs the program after "-e".
        const QString bin = m_dir.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        const QString terminal = bin + QStringLiteral("/my-terminal");
        const QString asked = m_dir.filePath(QStringLiteral("terminal-arguments"));
        QFile script(terminal);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1.part'\nmv '%1.part' '%1'\nshift\nexec \"$@\"\n")
                         .arg(asked).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        const QString ran = m_dir.filePath(QStringLiteral("top-ran"));
        const QString entry = m_dir.filePath(QStringLiteral("top.desktop"));
        QFile entryFile(entry);
        QVERIFY(entryFile.open(QIODevice::WriteOnly));
        entryFile.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=Top\nTerminal=true\n"
                                       "Exec=/bin/sh -c \"echo ran > %1\"\n").arg(ran).toUtf8());
        entryFile.close();

        ScopedEnvironment environment;
        DesktopWorkspaceOpener opener;
        environment.set("TERMINAL", terminal.toUtf8());
        QVERIFY(opener.open(QUrl::fromLocalFile(entry), std::nullopt, true).opened);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(asked), 30000);
        QFile arguments(asked);
        QVERIFY(arguments.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(arguments.readAll()).split(u'\n', Qt::SkipEmptyParts),
                 QStringList({"-e", "/bin/sh", "-c", "echo ran > " + ran}));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ran), 30000);
        QFile::remove(ran);

        // With no terminal at all the program is not started, and the outcome says why.
        environment.set("TERMINAL", {});
        environment.set("PATH", bin.toUtf8() + "/none");
        QVERIFY(DesktopWorkspaceOpener::terminalCommand().isEmpty());
        const OpenOutcome none = opener.open(QUrl::fromLocalFile(entry), std::nullopt, true);
        QVERIFY(!none.opened);
        QVERIFY(none.needsTerminal);
        QVERIFY(DesktopWorkspaceOpener::applicationCommand(entry, {}).isEmpty());
        // An entry that needs no terminal still starts without one.
        QVERIFY(!opener.open(QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("gone.txt"))), entry, true).needsTerminal);
        QVERIFY(!QFile::exists(ran));
    }

    void desktopEntryCommands()
    {
        const QList<QUrl> file{QUrl::fromLocalFile(QStringLiteral("/docs/My Report.pdf"))};
        QCOMPARE(desktopExecCommand(QStringLiteral("viewer --page=1 %f"), file),
                 QStringList({"viewer", "--page=1", "/docs/My Report.pdf"}));
        QCOMPARE(desktopExecCommand(QStringLiteral("\"/opt/My Viewer/bin\" %U %i"), file),
                 QStringList({"/opt/My Viewer/bin", "file:///docs/My%20Report.pdf"}));
        // Nothing in a target is ever read as shell syntax or as another argument.
        const QList<QUrl> hostile{QUrl::fromLocalFile(QStringLiteral("/docs/a; rm -rf ~ $(x).txt"))};
        QCOMPARE(desktopExecCommand(QStringLiteral("viewer %F"), hostile), QStringList({"viewer", "/docs/a; rm -rf ~ $(x).txt"}));
        QCOMPARE(desktopExecCommand(QStringLiteral("viewer --file=%f 100%%"), file),
                 QStringList({"viewer", "--file=/docs/My Report.pdf", "100%"}));
        QCOMPARE(desktopExecCommand(QStringLiteral("viewer %f")), QStringList({"viewer"}));
        QCOMPARE(desktopExecCommand(QStringLiteral("viewer \"unclosed"), file), QStringList());
    }
};

KESTROWAN_TEST_MAIN(PopupLaunchTest)
#include "tst_popuplaunch.moc"
