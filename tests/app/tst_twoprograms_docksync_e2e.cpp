// Two real programs on two displays that share one home, each beside its own stand-in Dock, both
// with Sync All pressed at once after a group was renamed: the Dock's list, which both programs and
// both Docks write, ends with every group's tile once, the renamed one where it stood, none for an
// old folder, everything else in it as it was, neither program taking the other's write for a
// refusal of the system, and neither telling of a failure that did not happen.

#include "Kestrowan/groups/AppGroup.h"
#include "Platform/PropertyList.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/safewrite/StoredFileLock.h"
#include "tests/app/ProgramOnX.h"
#include "tests/app/SyncAllButton.h"
#include "tests/standin/DockPreferencesWriter.h"
#include "tests/standin/XTestPointer.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QSaveFile>
#include <QScreen>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int timeout = 60000;
const QString refusedLine = QStringLiteral("Failed to update Dock items. System may block access");

AppItem item(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
}

void endWithThisProcess()
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(20000))
        process.kill();
    process.waitForFinished(20000);
}

// Entries of a long-used Dock that the program has nothing to do with: `count` document tiles with
// a bookmark of `blobSize` bytes each, every one different.
QVariantList othersOfALongUsedDock(int count, int blobSize)
{
    QVariantList tiles;
    for (int i = 0; i < count; ++i) {
        QByteArray bookmark(blobSize, char(i));
        bookmark.replace(0, 8, QByteArray::number(i).rightJustified(8, '0'));
        tiles.append(QVariantMap{
            {QStringLiteral("GUID"), qint64(1000000 + i)},
            {QStringLiteral("tile-type"), QStringLiteral("file-tile")},
            {QStringLiteral("tile-data"),
             QVariantMap{{QStringLiteral("file-data"), QVariantMap{{QStringLiteral("_CFURLString"), QStringLiteral("file:///srv/archive/doc-%1.pdf").arg(i)},
                                                                     {QStringLiteral("_CFURLStringType"), qint64(15)}}},
                         {QStringLiteral("file-label"), QStringLiteral("doc-%1").arg(i)},
                         {QStringLiteral("book"), bookmark}}}});
    }
    return tiles;
}

} // namespace

class TestTwoProgramsDockSync : public QObject {
    Q_OBJECT
private:
    // One display: its X server (the test's own, or one started here), its Dock, its program.
    struct Side {
        QByteArray display;
        QProcess server; // only for the second display
        QProcess keeper;
        QProcess program;
        QString output;
        std::unique_ptr<X11Windows> windows;
        std::unique_ptr<XTestPointer> pointer;

        QProcessEnvironment environment() const
        {
            QProcessEnvironment environment = ProgramOnX::environment();
            environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(display));
            return environment;
        }
        QString lines()
        {
            output += QString::fromUtf8(program.readAll());
            return output;
        }
        int lineCount() { return int(lines().count(u'\n')); }
        int linesSince(int from, const QString &text) { return int(lines().split(u'\n').mid(from).filter(text).size()); }
        std::optional<X11Windows::Window> mainWindow()
        {
            for (const X11Windows::Window &window : windows->all()) {
                if (window.pid == program.processId() && window.viewable && window.name == QLatin1String("Kestrowan")
                    && window.geometry.width() >= 600)
                    return window;
            }
            return std::nullopt;
        }
    };

    Side m_sides[2];
    QList<AppGroup> m_groups;
    // The Sync All label's place in the main window, found on the test's own screen.
    QPoint m_syncAllInWindow;
    QVariantList m_others;

    static QString storage() { return QDir::homePath() + QStringLiteral("/.local/share/Kestrowan"); }
    static QString preferences() { return DockPreferencesFile::filePath(); }

    QVariantList storedList() const
    {
        QFile file(preferences());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const std::optional<QVariant> root = PropertyList::parse(file.readAll());
        return root ? root->toMap().value(QStringLiteral("persistent-others")).toList() : QVariantList();
    }

    static QString pathOf(const QVariant &tile)
    {
        const QString url = PropertyList::mapIn(PropertyList::mapIn(tile.toMap().value(QStringLiteral("tile-data"))).value(QStringLiteral("file-data")))
                                .value(QStringLiteral("_CFURLString"))
                                .toString();
        return QDir::cleanPath(QUrl(url).toLocalFile());
    }

    // The paths of the group tiles, in the list's order.
    QStringList groupTiles() const
    {
        QStringList paths;
        for (const QVariant &tile : storedList()) {
            if (tile.toMap().value(QStringLiteral("tile-type")) == QLatin1String("directory-tile"))
                paths.append(pathOf(tile));
        }
        return paths;
    }

    QString folderOf(const AppGroup &group) const { return storage() + QStringLiteral("/Groups/") + group.name; }

    // Another program of the user's saves the groups; both programs take them in.
    void saveGroups()
    {
        const int from[2] = {m_sides[0].lineCount(), m_sides[1].lineCount()};
        QSaveFile file(storage() + QStringLiteral("/groups.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(AppGroup::listToJson(m_groups)).toJson());
        QVERIFY(file.commit());
        for (int side = 0; side < 2; ++side)
            QTRY_VERIFY_WITH_TIMEOUT(m_sides[side].linesSince(from[side], QStringLiteral("Took in the groups another program saved")) > 0, timeout);
    }

    // The Dock's list with `others` after the tiles the programs wrote, put there as the Dock or
    // another program writes: under the lock.
    void storeOthers(const QVariantList &others)
    {
        const StoredFileLock lock = StoredFileLock::lockWithin(preferences(), std::chrono::milliseconds(timeout));
        QVERIFY(lock.isHeld());
        QVariantList list;
        for (const QVariant &tile : storedList()) {
            if (tile.toMap().value(QStringLiteral("tile-type")) == QLatin1String("directory-tile"))
                list.append(tile);
        }
        list.append(others);
        QFile file(preferences());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::optional<QByteArray> bytes = PropertyList::withKeyReplaced(file.readAll(), QStringLiteral("persistent-others"), list);
        QVERIFY(bytes);
        QVERIFY(PropertyList::writeBytesAtomically(preferences(), *bytes));
        m_others = others;
    }

    bool startSecondDisplay(Side &side)
    {
        // The server picks a free display and says which on its standard output.
        side.server.setProgram(QStringLiteral("Xvfb"));
        side.server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                                  QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        side.server.setChildProcessModifier(endWithThisProcess);
        side.server.start();
        if (!side.server.waitForStarted() || !QTest::qWaitFor([&] { return side.server.canReadLine(); }, timeout))
            return false;
        side.display = ':' + side.server.readLine().trimmed();
        return true;
    }

    bool startSide(Side &side)
    {
        side.windows = std::make_unique<X11Windows>(side.display);
        side.pointer = std::make_unique<XTestPointer>(side.display);
        if (!side.windows->isValid() || !side.pointer->isValid())
            return false;
        side.keeper.setProgram(QStringLiteral(KESTROWAN_DOCK_KEEPER));
        side.keeper.setProcessEnvironment(side.environment());
        side.keeper.setProcessChannelMode(QProcess::ForwardedChannels);
        side.keeper.setChildProcessModifier(endWithThisProcess);
        side.keeper.start();
        return side.keeper.waitForStarted();
    }

    void clickSyncAll(Side &side)
    {
        const std::optional<X11Windows::Window> window = side.mainWindow();
        QVERIFY(window);
        side.pointer->click(window->geometry.topLeft() + m_syncAllInWindow);
    }

private slots:
    void initTestCase()
    {
        m_sides[0].display = qgetenv("DISPLAY");
        QVERIFY2(startSecondDisplay(m_sides[1]), "no second X server");
        writeDockPreferences(preferences(), "bottom", false, {}, {});
        ProgramOnX::skipOnboarding();
        const QString documents = QDir::homePath() + QStringLiteral("/Documents");
        QVERIFY(QDir().mkpath(documents));
        for (const QString &name : {QStringLiteral("Work"), QStringLiteral("Play"), QStringLiteral("Mail")}) {
            const QString note = documents + u'/' + name + QStringLiteral(".txt");
            QVERIFY(writeTestFile(note, name.toUtf8()));
            AppGroup group;
            group.id = QUuid::createUuid();
            group.name = name;
            group.apps = {item(note)};
            m_groups.append(group);
        }
        QVERIFY(QDir().mkpath(storage()));
        QVERIFY(writeTestFile(storage() + QStringLiteral("/groups.json"), QJsonDocument(AppGroup::listToJson(m_groups)).toJson()));
        for (Side &side : m_sides) {
            QVERIFY2(startSide(side), side.display.constData());
            side.program.setProgram(QStringLiteral(KESTROWAN_PROGRAM));
            side.program.setProcessEnvironment(side.environment());
            side.program.setProcessChannelMode(QProcess::MergedChannels);
            side.program.setChildProcessModifier(endWithThisProcess);
            side.program.start();
            QVERIFY(side.program.waitForStarted());
        }
        for (Side &side : m_sides)
            QTRY_VERIFY_WITH_TIMEOUT(side.mainWindow().has_value(), timeout);

        // Where the label shows on the test's own screen is where it is in the other window too.
        const X11Windows::Window window = *m_sides[0].mainWindow();
        QRect label;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
            const QRect first = SyncAllButton::label(shot, window.geometry);
            label = SyncAllButton::label(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), window.geometry);
            return label == first && SyncAllButton::isLabelSized(label);
        }(), timeout);
        m_syncAllInWindow = label.center() - window.geometry.topLeft();

        // The first sync, from one side: every group gets its tile.
        const int from = m_sides[0].lineCount();
        clickSyncAll(m_sides[0]);
        QTRY_VERIFY_WITH_TIMEOUT(m_sides[0].linesSince(from, QStringLiteral("Synced all groups to the Dock")) > 0, timeout);
        QCOMPARE(groupTiles(), (QStringList{folderOf(m_groups[2]), folderOf(m_groups[1]), folderOf(m_groups[0])}));
    }

    void cleanupTestCase()
    {
        for (Side &side : m_sides) {
            if (QTest::currentTestFailed() || qEnvironmentVariableIsSet("KESTROWAN_TEST_SHOW_OUTPUT"))
                qInfo().noquote() << "The program's output on" << side.display << ":\n" << side.lines();
            stop(side.program);
            stop(side.keeper);
        }
        stop(m_sides[1].server);
    }

    void bothSyncAllAtOnceAfterARename_data()
    {
        QTest::addColumn<bool>("longUsedDock");
        for (int round = 1; round <= 8; ++round)
            QTest::addRow("round %d%s", round, round % 2 == 0 ? " long-used Dock" : "") << (round % 2 == 0);
    }

    void bothSyncAllAtOnceAfterARename()
    {
        QFETCH(bool, longUsedDock);
        // A few megabytes of the user's own entries, as a long-used Dock holds, make each write
        // take long enough for the other program's to fall within it.
        storeOthers(longUsedDock ? othersOfALongUsedDock(600, 5000) : QVariantList{});
        if (QTest::currentTestFailed())
            return;
        const QString oldFolder = folderOf(m_groups[1]);
        m_groups[1].name = QStringLiteral("Play %1").arg(QUuid::createUuid().toString(QUuid::Id128).left(6));
        saveGroups();
        if (QTest::currentTestFailed())
            return;

        const int from[2] = {m_sides[0].lineCount(), m_sides[1].lineCount()};
        clickSyncAll(m_sides[0]);
        clickSyncAll(m_sides[1]);
        for (int side = 0; side < 2; ++side) {
            QTRY_VERIFY2_WITH_TIMEOUT(m_sides[side].linesSince(from[side], QStringLiteral("Synced all groups to the Dock")) > 0
                                          || m_sides[side].linesSince(from[side], QStringLiteral("Sync of all groups failed")) > 0,
                                      m_sides[side].display.constData(), timeout);
        }

        // Every group's tile once, none for the old folder, and no program taking the other's write
        // for a refusal of the system.
        const QStringList expected{folderOf(m_groups[2]), folderOf(m_groups[1]), folderOf(m_groups[0])};
        QStringList tiles = groupTiles();
        tiles.sort();
        QStringList every = expected;
        every.sort();
        QCOMPARE(tiles, every);
        QVERIFY(!QFileInfo::exists(oldFolder));
        for (int side = 0; side < 2; ++side) {
            // The side that finds the other's move or link made already tells of no failure.
            QVERIFY2(m_sides[side].linesSince(from[side], QStringLiteral("Sync of all groups failed")) == 0,
                     qPrintable(m_sides[side].display + QStringLiteral(": a failure told: ") + m_sides[side].lines().split(u'\n').mid(from[side]).join(u'\n')));
            QVERIFY2(m_sides[side].linesSince(from[side], refusedLine) == 0,
                     qPrintable(m_sides[side].display + QStringLiteral(": another program's write taken for a refusal")));
            QVERIFY2(m_sides[side].linesSince(from[side], QStringLiteral("Dock writes are blocked")) == 0, m_sides[side].display.constData());
        }
        // The user's own entries come after them, every one as it was.
        QCOMPARE(storedList().mid(expected.size()), m_others);
        // The renamed group's tile where it stood.
        QCOMPARE(groupTiles(), expected);
    }
};

KESTROWAN_TEST_MAIN(TestTwoProgramsDockSync)
#include "tst_twoprograms_docksync_e2e.moc"
