// A synced group renamed, then Sync All pressed in the real program's window beside the stand-in
// Dock: the group's tile changes to the new name with one restart of the Dock, not one to take the
// old tile out and another to put the new one in.

#include "Kestrowan/groups/AppGroup.h"
#include "tests/app/ProgramOnX.h"
#include "tests/app/SyncAllButton.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QSaveFile>
#include <QScreen>

namespace {

constexpr int timeout = 60000;

AppItem item(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
}

} // namespace

class TestSyncAllRename : public QObject {
    Q_OBJECT
private:
    ProgramOnX m_run;
    XTestPointer m_pointer;
    QList<AppGroup> m_groups;

    QImage screen() const { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

    // Clicks Sync All once its label stands still.
    void clickSyncAll()
    {
        std::optional<X11Windows::Window> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = m_run.mainWindow()).has_value(), timeout);
        QRect label;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            const QRect first = SyncAllButton::label(screen(), window->geometry);
            label = SyncAllButton::label(screen(), window->geometry);
            return label == first && SyncAllButton::isLabelSized(label);
        }(), timeout);
        m_pointer.click(label.center());
    }

    // The Dock's folder tiles by title; the program may have restarted the Dock since it last looked.
    QStringList folderTiles()
    {
        if (const std::optional<qint64> dock = m_run.dock.tiles.dockProcess())
            m_run.dock.tiles.setDock(*dock);
        return m_run.dock.tiles.tiles().filter(QStringLiteral("(AXFolderDockItem)"));
    }

    int linesSince(int from, const QString &text)
    {
        return int(m_run.output().split(u'\n').mid(from).filter(text).size());
    }

    // The lines written so far, a line being written at the moment not among them.
    int lineCount() { return int(m_run.output().count(u'\n')); }

    // Another program of the user's (the same one on another display) saves the groups.
    void saveGroups()
    {
        const int from = lineCount();
        const QString storage = QDir::homePath() + QStringLiteral("/.local/share/Kestrowan");
        // Written beside and moved over, as that program stores it: never seen half written.
        QSaveFile file(storage + QStringLiteral("/groups.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(AppGroup::listToJson(m_groups)).toJson());
        QVERIFY(file.commit());
        QTRY_VERIFY_WITH_TIMEOUT(linesSince(from, QStringLiteral("Took in the groups another program saved")) > 0, timeout);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_run.windows.isValid() && m_pointer.isValid(), "needs an X server");
        const QString dockFailure = m_run.startDock(QStringLiteral(KESTROWAN_DOCK_KEEPER), timeout);
        QVERIFY2(dockFailure.isEmpty(), qPrintable(dockFailure));
        ProgramOnX::skipOnboarding();
        const QString documents = QDir::homePath() + QStringLiteral("/Documents");
        QVERIFY(QDir().mkpath(documents));
        for (const QString &name : {QStringLiteral("Work"), QStringLiteral("Play")}) {
            const QString note = documents + u'/' + name + QStringLiteral(".txt");
            QVERIFY(writeTestFile(note, name.toUtf8()));
            AppGroup group;
            group.id = QUuid::createUuid();
            group.name = name;
            group.apps = {item(note)};
            m_groups.append(group);
        }
        const QString storage = QDir::homePath() + QStringLiteral("/.local/share/Kestrowan");
        QVERIFY(QDir().mkpath(storage));
        QVERIFY(writeTestFile(storage + QStringLiteral("/groups.json"), QJsonDocument(AppGroup::listToJson(m_groups)).toJson()));
        QVERIFY(m_run.start(QStringLiteral(KESTROWAN_PROGRAM)));
    }

    void cleanupTestCase() { m_run.end(timeout); }

    void aRenamedGroupReachesTheDockWithOneRestart()
    {
        clickSyncAll();
        QTRY_COMPARE_WITH_TIMEOUT(folderTiles(),
                                  (QStringList{QStringLiteral("Play (AXFolderDockItem)"), QStringLiteral("Work (AXFolderDockItem)")}),
                                  timeout);
        for (int round = 1; round <= 3; ++round) {
            const QString what = QStringLiteral("round %1").arg(round);
            const QString before = m_groups[0].name;
            m_groups[0].name = QStringLiteral("Work %1").arg(round + 1);
            saveGroups();
            if (QTest::currentTestFailed())
                return;
            const int from = lineCount();
            clickSyncAll();
            QTRY_VERIFY2_WITH_TIMEOUT(folderTiles().contains(m_groups[0].name + QStringLiteral(" (AXFolderDockItem)"))
                                          && !folderTiles().contains(before + QStringLiteral(" (AXFolderDockItem)")),
                                      qPrintable(what + u' ' + folderTiles().join(u'|')), timeout);
            QTRY_VERIFY2_WITH_TIMEOUT(linesSince(from, QStringLiteral("The Dock is back")) >= 1, qPrintable(what), timeout);
            // Nothing more comes after the sync: a second restart followed the first within half a second.
            QTest::qWait(1500);
            QVERIFY2(linesSince(from, QStringLiteral("Restarting the Dock (process")) == 1,
                     qPrintable(QStringLiteral("%1: %2 restarts").arg(what).arg(linesSince(from, QStringLiteral("Restarting the Dock (process")))));
            QCOMPARE(folderTiles().size(), 2);
        }
    }
};

KESTROWAN_TEST_MAIN(TestSyncAllRename)
#include "tst_syncallrename_e2e.moc"
