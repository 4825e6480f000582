#include "Kestrowan/groups/DockService.h"
#include "Platform/PropertyList.h"
#include "Platform/fake/FakeDockPreferences.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/safewrite/StoredFileLock.h"
#include "tests/docktiles/DockTestSupport.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>

#include <limits>

#include <unistd.h>

using Tile = DockService::Tile;
using Style = AppGroup::DisplayStyle;

namespace {

const QString refusedMessage = QStringLiteral(
    "Failed to update Dock items. System may block access (check Privacy & Security > App Management).");

// The real preferences file, counting the writes that reach it.
class CountingDockFile final : public DockPreferencesFile {
public:
    int writes = 0;
    // Runs once a write is stored, before anything reads it back.
    std::function<void()> afterWrite;
    // Writes report success and store nothing, as a system that refuses quietly.
    bool refuse = false;
    bool write(const QString &key, const QVariant &value, int *error = nullptr) override
    {
        ++writes;
        const bool stored = refuse || DockPreferencesFile::write(key, value, error);
        if (afterWrite)
            afterWrite();
        return stored;
    }
};

// A tile as the Dock itself writes one, with keys the program never writes.
Tile dockTile(const QString &urlString, const QVariant &label = QStringLiteral("Dock Label"),
              const QVariant &showAs = qint64(2), const QVariant &displayAs = qint64(1))
{
    QVariantMap data{
        {QStringLiteral("file-data"), QVariantMap{{QStringLiteral("_CFURLString"), urlString},
                                                  {QStringLiteral("_CFURLStringType"), qint64(15)}}},
        {QStringLiteral("file-type"), qint64(2)},
        {QStringLiteral("book"), QByteArray("\x00\x01bookmark", 10)},
    };
    if (label.isValid())
        data.insert(QStringLiteral("file-label"), label);
    if (showAs.isValid())
        data.insert(QStringLiteral("showas"), showAs);
    if (displayAs.isValid())
        data.insert(QStringLiteral("displayas"), displayAs);
    return Tile{{QStringLiteral("GUID"), qint64(123456)},
                {QStringLiteral("tile-type"), QStringLiteral("directory-tile")},
                {QStringLiteral("tile-data"), data}};
}

// A tile the program has nothing to do with, holding every kind of value the file can hold.
Tile foreignTile()
{
    return Tile{{QStringLiteral("tile-type"), QStringLiteral("url-tile")},
                {QStringLiteral("tile-data"),
                 QVariantMap{{QStringLiteral("url"), QVariantMap{{QStringLiteral("_CFURLString"), QStringLiteral("https://example.org/")}}},
                             {QStringLiteral("label"), QStringLiteral("Example")},
                             {QStringLiteral("added"), QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC)},
                             {QStringLiteral("ref"), QVariant::fromValue(PropertyList::Uid{7})},
                             {QStringLiteral("ratio"), 0.25},
                             {QStringLiteral("locked"), true},
                             {QStringLiteral("blob"), QByteArray("\xff\x00\x10", 3)}}}};
}

QVariantList asList(const QList<Tile> &tiles)
{
    QVariantList list;
    for (const Tile &tile : tiles)
        list.append(tile);
    return list;
}

// Property-list dates count seconds from 2001-01-01 UTC, stored as a big-endian double after the
// marker byte 0x33.
constexpr qint64 referenceDateMs = 978307200000;
QByteArray dateBytes(double seconds)
{
    QByteArray bytes(9, '\x33');
    qToBigEndian(seconds, bytes.data() + 1);
    return bytes;
}

QVariantMap tileDataOf(const QVariant &tile)
{
    return tile.toMap().value(QStringLiteral("tile-data")).toMap();
}

} // namespace

class TestDockService : public QObject {
    Q_OBJECT

private:
    CountingDockFile *m_file = nullptr;
    FakeProcessRunner *m_runner = nullptr;
    FakeDockRestarter *m_restarter = nullptr;
    std::unique_ptr<QTemporaryDir> m_folders;

    QUrl makeFolder(const QString &name)
    {
        const QString path = m_folders->path() + QLatin1Char('/') + name;
        QDir().mkpath(path);
        return QUrl::fromLocalFile(path);
    }
    QUrl missingFolder(const QString &name) { return QUrl::fromLocalFile(m_folders->path() + QLatin1Char('/') + name); }
    QString urlString(const QString &name) { return makeFolder(name).toString(QUrl::FullyEncoded); }

    void storeOthers(const QList<Tile> &tiles)
    {
        writeDockFile({{QStringLiteral("persistent-others"), asList(tiles)},
                       {QStringLiteral("persistent-apps"), QVariantList{QVariantMap{{QStringLiteral("tile-type"), QStringLiteral("file-tile")}}}},
                       {QStringLiteral("orientation"), QStringLiteral("left")},
                       {QStringLiteral("autohide"), true}});
    }
    QVariantList storedOthers() { return readDockFile().value(QStringLiteral("persistent-others")).toList(); }
    QStringList storedPaths()
    {
        QStringList paths;
        for (const QVariant &tile : storedOthers())
            paths.append(DockService::tilePath(tile.toMap()).value_or(QStringLiteral("<none>")));
        return paths;
    }
    QString pathOf(const QString &name) const { return m_folders->path() + QLatin1Char('/') + name; }
    int restarts() const { return m_restarter->restarts; }

    std::optional<bool> upsert(const QUrl &folder, const QString &label, Style style, bool refreshLabel)
    {
        return awaitCompletion<bool>([&](DockService::Completion done) {
            DockService::upsertFolderTile(folder, label, style, refreshLabel, std::move(done));
        });
    }
    std::optional<bool> upsertAll(const QList<DockService::FolderTileEntry> &entries)
    {
        return awaitCompletion<bool>([&](DockService::Completion done) { DockService::upsertFolderTiles(entries, std::move(done)); });
    }
    std::optional<bool> remove(const QUrl &folder)
    {
        return awaitCompletion<bool>([&](DockService::Completion done) { DockService::removeFolderTile(folder, std::move(done)); });
    }

private slots:
    void init()
    {
        QFile::remove(dockFilePath());
        m_folders = std::make_unique<QTemporaryDir>();
        auto file = std::make_unique<CountingDockFile>();
        m_file = file.get();
        DockPreferences::install(std::move(file));
        auto runner = std::make_unique<FakeProcessRunner>();
        m_runner = runner.get();
        ProcessRunner::install(std::move(runner));
        auto restarter = std::make_unique<FakeDockRestarter>();
        m_restarter = restarter.get();
        DockRestarter::install(std::move(restarter));
        DockService::clearSyncBlock();
    }

    void cleanup()
    {
        DockService::clearSyncBlock();
        DockPreferences::install(nullptr);
        ProcessRunner::install(nullptr);
        DockRestarter::install(nullptr);
    }

    void newTileIsWrittenAtTheFrontAndKeepsEverythingElse()
    {
        storeOthers({dockTile(urlString(QStringLiteral("Old"))), foreignTile()});
        const QVariantMap before = readDockFile();
        const QUrl folder = makeFolder(QStringLiteral("My Group"));

        QCOMPARE(upsert(folder, QStringLiteral("My Group"), Style::List, false), std::optional<bool>(true));

        QVERIFY(dockFileBytes().startsWith("bplist00"));
        const QVariantMap after = readDockFile();
        for (const QString &key : {QStringLiteral("persistent-apps"), QStringLiteral("orientation"), QStringLiteral("autohide")})
            QCOMPARE(after.value(key), before.value(key));
        const QVariantList others = after.value(QStringLiteral("persistent-others")).toList();
        QCOMPARE(others.size(), 3);
        QCOMPARE(others.mid(1), before.value(QStringLiteral("persistent-others")).toList());

        const QVariantMap expectedData{
            {QStringLiteral("file-data"), QVariantMap{{QStringLiteral("_CFURLString"), QStringLiteral("file://%1/My%20Group").arg(m_folders->path())},
                                                      {QStringLiteral("_CFURLStringType"), qint64(15)}}},
            {QStringLiteral("file-label"), QStringLiteral("My Group")},
            {QStringLiteral("file-type"), qint64(2)},
            {QStringLiteral("displayas"), qint64(1)},
            {QStringLiteral("showas"), qint64(3)},
        };
        QCOMPARE(others.first().toMap(), (QVariantMap{{QStringLiteral("tile-type"), QStringLiteral("directory-tile")},
                                                      {QStringLiteral("tile-data"), expectedData}}));
        QCOMPARE(m_file->writes, 1);
        QCOMPARE(restarts(), 1);
        QVERIFY(DockService::isFolderInDock(folder));
    }

    void existingTileIsReplacedWhole_data()
    {
        QTest::addColumn<QVariant>("dockLabel");
        QTest::addColumn<bool>("refreshLabel");
        QTest::addColumn<QString>("expectedLabel");
        QTest::newRow("Dock label kept") << QVariant(QStringLiteral("Renamed in Dock")) << false << QStringLiteral("Renamed in Dock");
        QTest::newRow("label refreshed") << QVariant(QStringLiteral("Renamed in Dock")) << true << QStringLiteral("Group");
        QTest::newRow("no Dock label") << QVariant() << false << QStringLiteral("Group");
        QTest::newRow("Dock label not text") << QVariant(qint64(5)) << false << QStringLiteral("Group");
    }

    void existingTileIsReplacedWhole()
    {
        QFETCH(QVariant, dockLabel);
        QFETCH(bool, refreshLabel);
        QFETCH(QString, expectedLabel);
        const QUrl folder = makeFolder(QStringLiteral("Group"));
        storeOthers({foreignTile(), dockTile(folder.toString(QUrl::FullyEncoded), dockLabel, qint64(2), qint64(1)), foreignTile()});

        QCOMPARE(upsert(folder, QStringLiteral("Group"), Style::Grid, refreshLabel), std::optional<bool>(true));

        const QVariantList others = storedOthers();
        QCOMPARE(others.size(), 3);
        QCOMPARE(others[1].toMap(), DockService::folderTile(folder, expectedLabel, Style::Grid));
        QCOMPARE(m_file->writes, 1);
        QCOMPARE(restarts(), 0);
    }

    void restartOnlyWhenTheViewSettingsChange_data()
    {
        QTest::addColumn<QVariant>("showAs");
        QTest::addColumn<QVariant>("displayAs");
        QTest::addColumn<int>("expectedRestarts");
        QTest::newRow("same settings") << QVariant(qint64(2)) << QVariant(qint64(1)) << 0;
        QTest::newRow("same settings, small integer") << QVariant(int(2)) << QVariant(int(1)) << 0;
        QTest::newRow("other display style") << QVariant(qint64(3)) << QVariant(qint64(1)) << 1;
        QTest::newRow("displayas 0") << QVariant(qint64(2)) << QVariant(qint64(0)) << 1;
        QTest::newRow("displayas absent") << QVariant(qint64(2)) << QVariant() << 1;
        QTest::newRow("showas absent") << QVariant() << QVariant(qint64(1)) << 1;
        QTest::newRow("showas not an integer") << QVariant(QStringLiteral("2")) << QVariant(qint64(1)) << 1;
        QTest::newRow("displayas a real") << QVariant(qint64(2)) << QVariant(1.0) << 1;
    }

    void restartOnlyWhenTheViewSettingsChange()
    {
        QFETCH(QVariant, showAs);
        QFETCH(QVariant, displayAs);
        QFETCH(int, expectedRestarts);
        const QUrl folder = makeFolder(QStringLiteral("Group"));
        storeOthers({dockTile(folder.toString(QUrl::FullyEncoded), QStringLiteral("Group"), showAs, displayAs)});

        QCOMPARE(upsert(folder, QStringLiteral("Group"), Style::Grid, true), std::optional<bool>(true));
        QCOMPARE(restarts(), expectedRestarts);
        QCOMPARE(storedOthers(), QVariantList{DockService::folderTile(folder, QStringLiteral("Group"), Style::Grid)});
    }

    void tilesMatchTheSameFolderHoweverTheURLIsSpelt_data()
    {
        QTest::addColumn<QString>("tileURL");  // %1 is the folders' parent
        QTest::addColumn<QString>("folderName");
        QTest::addColumn<bool>("matches");
        QTest::newRow("program's own form") << QStringLiteral("file://%1/Work") << QStringLiteral("Work") << true;
        QTest::newRow("tile with trailing slash") << QStringLiteral("file://%1/Work/") << QStringLiteral("Work") << true;
        QTest::newRow("folder with trailing slash") << QStringLiteral("file://%1/Work") << QStringLiteral("Work/") << true;
        QTest::newRow("percent escapes") << QStringLiteral("file://%1/My%20Work%C3%A9/") << QStringLiteral("My Worké") << true;
        QTest::newRow("dot segments") << QStringLiteral("file://%1/x/../Work/./") << QStringLiteral("Work") << true;
        QTest::newRow("decomposed accents") << QStringLiteral("file://%1/Cafe%CC%81") << QStringLiteral("Café") << true;
        QTest::newRow("plain path") << QStringLiteral("%1/Work/") << QStringLiteral("Work") << true;
        QTest::newRow("raw spaces") << QStringLiteral("file://%1/My Work/") << QStringLiteral("My Work") << true;
        QTest::newRow("longer name") << QStringLiteral("file://%1/Work%20Two/") << QStringLiteral("Work") << false;
        QTest::newRow("parent folder") << QStringLiteral("file://%1/") << QStringLiteral("Work") << false;
        QTest::newRow("other letter case") << QStringLiteral("file://%1/work") << QStringLiteral("Work") << false;
        QTest::newRow("localhost") << QStringLiteral("file://localhost%1/Work/") << QStringLiteral("Work") << true;
        QTest::newRow("LOCALHOST") << QStringLiteral("file://LOCALHOST%1/Work") << QStringLiteral("Work") << true;
        QTest::newRow("other host") << QStringLiteral("file://server%1/Work") << QStringLiteral("Work") << false;
    }

    void tilesMatchTheSameFolderHoweverTheURLIsSpelt()
    {
        QFETCH(QString, tileURL);
        QFETCH(QString, folderName);
        QFETCH(bool, matches);
        makeFolder(QStringLiteral("Work"));
        const QUrl folder = QUrl::fromLocalFile(pathOf(folderName));
        storeOthers({foreignTile(), dockTile(tileURL.arg(m_folders->path()))});

        QCOMPARE(DockService::isFolderInDock(folder), matches);
        const QList<Tile> tiles = DockService::readPersistentOthers();
        QCOMPARE(tiles.size(), 2);
        QCOMPARE(DockService::tileMatchesFolder(tiles[1], folder), matches);
    }

    void tilesWithoutAPathMatchNothing_data()
    {
        QTest::addColumn<QVariant>("tile");
        QTest::newRow("no tile-data") << QVariant(Tile{{QStringLiteral("tile-type"), QStringLiteral("directory-tile")}});
        QTest::newRow("tile-data not a dictionary") << QVariant(Tile{{QStringLiteral("tile-data"), QStringLiteral("x")}});
        QTest::newRow("file-data not a dictionary")
            << QVariant(Tile{{QStringLiteral("tile-data"), QVariantMap{{QStringLiteral("file-data"), QVariantList{}}}}});
        QTest::newRow("URL not a string")
            << QVariant(Tile{{QStringLiteral("tile-data"),
                              QVariantMap{{QStringLiteral("file-data"), QVariantMap{{QStringLiteral("_CFURLString"), qint64(1)}}}}}});
        QTest::newRow("empty URL") << QVariant(dockTile(QString()));
    }

    void tilesWithoutAPathMatchNothing()
    {
        QFETCH(QVariant, tile);
        QCOMPARE(DockService::tilePath(tile.toMap()), std::nullopt);
        const QUrl folder = makeFolder(QStringLiteral("G"));
        storeOthers({tile.toMap()});
        QVERIFY(!DockService::isFolderInDock(folder));
        // The tile stays where it was when the folder's tile is added in front of it.
        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::Grid, false), std::optional<bool>(true));
        QCOMPARE(storedOthers(), (QVariantList{DockService::folderTile(folder, QStringLiteral("G"), Style::Grid), tile}));
    }

    void batchAddsNewTilesInReverseOrderWithOneWriteAndOneRestart()
    {
        storeOthers({dockTile(urlString(QStringLiteral("Earlier")))});
        const QList<DockService::FolderTileEntry> entries{{makeFolder(QStringLiteral("first")), QStringLiteral("first"), Style::Fan},
                                                          {makeFolder(QStringLiteral("second")), QStringLiteral("second"), Style::Grid},
                                                          {makeFolder(QStringLiteral("third")), QStringLiteral("third"), Style::List}};
        QCOMPARE(upsertAll(entries), std::optional<bool>(true));
        QCOMPARE(storedPaths(), (QStringList{pathOf(QStringLiteral("third")), pathOf(QStringLiteral("second")),
                                             pathOf(QStringLiteral("first")), pathOf(QStringLiteral("Earlier"))}));
        QCOMPARE(m_file->writes, 1);
        QCOMPARE(restarts(), 1);
    }

    void batchReplacesExistingTilesWithTheEntriesLabels()
    {
        const QUrl a = makeFolder(QStringLiteral("A"));
        const QUrl b = makeFolder(QStringLiteral("B"));
        storeOthers({dockTile(b.toString(QUrl::FullyEncoded) + QLatin1Char('/'), QStringLiteral("Dock B")),
                     dockTile(a.toString(QUrl::FullyEncoded), QStringLiteral("Dock A"))});
        QCOMPARE(upsertAll({{a, QStringLiteral("A"), Style::Grid}, {b, QStringLiteral("B"), Style::Grid}}), std::optional<bool>(true));
        QCOMPARE(storedOthers(), (QVariantList{DockService::folderTile(b, QStringLiteral("B"), Style::Grid),
                                               DockService::folderTile(a, QStringLiteral("A"), Style::Grid)}));
        QCOMPARE(restarts(), 0);

        // A changed style anywhere in the batch restarts once.
        QCOMPARE(upsertAll({{a, QStringLiteral("A"), Style::List}, {b, QStringLiteral("B"), Style::Fan}}), std::optional<bool>(true));
        QCOMPARE(restarts(), 1);
        QCOMPARE(m_file->writes, 2);
    }

    void batchSkipsMissingFolders_data()
    {
        QTest::addColumn<bool>("withExistingFolder");
        QTest::newRow("all missing") << false;
        QTest::newRow("some missing") << true;
    }

    void batchSkipsMissingFolders()
    {
        QFETCH(bool, withExistingFolder);
        const QUrl present = makeFolder(QStringLiteral("Present"));
        storeOthers({foreignTile(), dockTile(present.toString(QUrl::FullyEncoded), QStringLiteral("Present"))});
        const QVariantList before = storedOthers();
        QList<DockService::FolderTileEntry> entries{{missingFolder(QStringLiteral("Gone")), QStringLiteral("Gone"), Style::Grid},
                                                    {missingFolder(QStringLiteral("Also gone")), QStringLiteral("Also gone"), Style::List}};
        if (withExistingFolder)
            entries.insert(1, {present, QStringLiteral("Present"), Style::Grid});

        QCOMPARE(upsertAll(entries), std::optional<bool>(true));
        QCOMPARE(m_file->writes, 1);
        QCOMPARE(restarts(), 0);
        QVariantList expected = before;
        if (withExistingFolder)
            expected[1] = DockService::folderTile(present, QStringLiteral("Present"), Style::Grid);
        QCOMPARE(storedOthers(), expected);
    }

    void emptyBatchWritesTheListBackUnchanged()
    {
        storeOthers({foreignTile()});
        QCOMPARE(upsertAll({}), std::optional<bool>(true));
        QCOMPARE(m_file->writes, 1);
        QCOMPARE(restarts(), 0);
        QCOMPARE(storedOthers(), QVariantList{foreignTile()});
    }

    void batchNamingOneFolderTwiceLeavesOneTile()
    {
        const QUrl folder = makeFolder(QStringLiteral("Twice"));
        QCOMPARE(upsertAll({{folder, QStringLiteral("one"), Style::Grid}, {folder, QStringLiteral("two"), Style::List}}),
                 std::optional<bool>(true));
        QCOMPARE(storedOthers(), QVariantList{DockService::folderTile(folder, QStringLiteral("two"), Style::List)});
        QCOMPARE(restarts(), 1);
    }

    void missingFolderMakesTheSingleUpsertFail()
    {
        storeOthers({foreignTile()});
        QCOMPARE(upsert(missingFolder(QStringLiteral("Gone")), QStringLiteral("Gone"), Style::Grid, false), std::optional<bool>(false));
        QCOMPARE(m_file->writes, 0);
        QVERIFY(!DockService::syncBlocked());
    }

    void removingDropsEveryTileOfTheFolder()
    {
        const QUrl folder = makeFolder(QStringLiteral("Doomed"));
        const QString url = folder.toString(QUrl::FullyEncoded);
        storeOthers({dockTile(url), foreignTile(), dockTile(url + QLatin1Char('/')), dockTile(urlString(QStringLiteral("Kept")))});
        QDir(folder.toLocalFile()).removeRecursively(); // the folder need not exist

        QCOMPARE(remove(folder), std::optional<bool>(true));
        QCOMPARE(storedPaths(), (QStringList{QStringLiteral("<none>"), pathOf(QStringLiteral("Kept"))}));
        QCOMPARE(storedOthers().first().toMap(), foreignTile());
        QCOMPARE(m_file->writes, 1);
        QCOMPARE(restarts(), 1);

        // Nothing left to remove: nothing written, no restart.
        QCOMPARE(remove(folder), std::optional<bool>(true));
        QCOMPARE(m_file->writes, 1);
        QCOMPARE(restarts(), 1);
    }

    void blockedStateEndsWithTheNextConfirmedWrite()
    {
        // A refusal long past does not refuse every later change (a rename among them): the next
        // writer tries, and a write that is confirmed ends the block and says so.
        const QUrl folder = makeFolder(QStringLiteral("G"));
        storeOthers({dockTile(folder.toString(QUrl::FullyEncoded))});
        DockService::markSyncBlocked(DockService::syncBlockedReason);
        QSignalSpy spy(&DockService::instance(), &DockService::syncBlockDidChange);

        QCOMPARE(remove(folder), std::optional<bool>(true));
        QVERIFY(!DockService::syncBlocked());
        QCOMPARE(spy.count(), 1);
        QVERIFY(spy.first().first().toMap().isEmpty());
        QVERIFY(!DockService::isFolderInDock(folder));
        QCOMPARE(upsertAll({{folder, QStringLiteral("G"), Style::Grid}}), std::optional<bool>(true));
        QCOMPARE(spy.count(), 1);
        QVERIFY(DockService::isFolderInDock(folder));
    }

    void aWriterHoldingTheLockIsWaitedForFromTheEventLoop()
    {
        // The program on another display holds the lock while it writes: nothing is looked at or
        // written meanwhile, the main thread does not wait, and the change is then made on what the
        // other wrote, which stays.
        storeOthers({foreignTile()});
        const QUrl mine = makeFolder(QStringLiteral("Mine"));
        const QUrl theirs = makeFolder(QStringLiteral("Theirs"));
        std::optional<StoredFileLock> other(StoredFileLock::tryLock(dockFilePath()));
        QVERIFY(other->isHeld());

        QVERIFY2(!DockService::writePersistentOthers({}), "a write that cannot wait went ahead without the lock");
        QElapsedTimer call;
        call.start();
        int completions = 0;
        bool result = false;
        DockService::upsertFolderTile(mine, QStringLiteral("Mine"), Style::Grid, false, [&](bool written) {
            ++completions;
            result = written;
        });
        QVERIFY2(call.elapsed() < 500, "the main thread waited for the lock");
        QCoreApplication::processEvents();
        QCOMPARE(completions, 0);
        QCOMPARE(m_file->writes, 0);

        // The other program's write, made under its lock.
        QVariantList others = storedOthers();
        others.prepend(DockService::folderTile(theirs, QStringLiteral("Theirs"), Style::List));
        QVERIFY(m_file->DockPreferencesFile::write(QStringLiteral("persistent-others"), others));
        other.reset();

        QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 20000);
        QVERIFY(result);
        QCOMPARE(storedPaths(), (QStringList{pathOf(QStringLiteral("Mine")), pathOf(QStringLiteral("Theirs")), QStringLiteral("<none>")}));
        QCOMPARE(storedOthers().last(), QVariant(foreignTile()));
        QVERIFY(!DockService::syncBlocked());
    }

    void aListOverwrittenBetweenWriteAndReadBackIsChangedAgain()
    {
        // A writer that takes no lock stores its list between this write and its read-back: that
        // is no refusal. The change is made again on what it stored, and both changes stay.
        storeOthers({foreignTile()});
        const QUrl mine = makeFolder(QStringLiteral("Mine"));
        const QUrl theirs = makeFolder(QStringLiteral("Theirs"));
        m_file->afterWrite = [&] {
            m_file->afterWrite = nullptr;
            QVariantList others = readDockFile().value(QStringLiteral("persistent-others")).toList();
            others.removeFirst();
            others.prepend(DockService::folderTile(theirs, QStringLiteral("Theirs"), Style::List));
            writeDockFile({{QStringLiteral("persistent-others"), others}, {QStringLiteral("orientation"), QStringLiteral("left")}});
        };
        QSignalSpy spy(&DockService::instance(), &DockService::syncBlockDidChange);

        QCOMPARE(upsertAll({{mine, QStringLiteral("Mine"), Style::Grid}}), std::optional<bool>(true));
        QVERIFY(!DockService::syncBlocked());
        QCOMPARE(spy.count(), 0);
        QCOMPARE(m_file->writes, 2);
        QCOMPARE(storedPaths(), (QStringList{pathOf(QStringLiteral("Mine")), pathOf(QStringLiteral("Theirs")), QStringLiteral("<none>")}));
        QCOMPARE(restarts(), 1);
    }

    void aListPutBackByAnotherWriterIsNoRefusal_data()
    {
        QTest::addColumn<int>("putBacks");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<bool>("written");
        QTest::addColumn<int>("writes");
        QTest::newRow("the list before put back once") << 1 << false << true << 2;
        QTest::newRow("the list before put back three times") << 3 << false << true << 4;
        QTest::newRow("put back after every write") << 100 << false << false << 4;
        QTest::newRow("nothing stored: a refusal") << 0 << true << false << 1;
    }
    void aListPutBackByAnotherWriterIsNoRefusal()
    {
        // A writer that takes no lock stores the list it read before this write, byte for byte: the
        // read-back shows the list before, yet it was stored anew. Only a write that stored nothing
        // is the system's refusal.
        QFETCH(int, putBacks);
        QFETCH(bool, refuse);
        storeOthers({foreignTile()});
        const QByteArray before = dockFileBytes();
        const QUrl mine = makeFolder(QStringLiteral("Mine"));
        int putBack = 0;
        m_file->refuse = refuse;
        m_file->afterWrite = [&] {
            if (putBack < putBacks) {
                ++putBack;
                writeDockBytes(before);
            }
        };
        QSignalSpy spy(&DockService::instance(), &DockService::syncBlockDidChange);
        if (refuse)
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(refusedMessage));
        else if (putBacks >= 4)
            QTest::ignoreMessage(QtCriticalMsg, "Dock items left unchanged: another program kept writing over them.");

        QTEST(upsertAll({{mine, QStringLiteral("Mine"), Style::Grid}}).value_or(false), "written");
        QTEST(m_file->writes, "writes");
        QCOMPARE(DockService::syncBlocked(), refuse);
        QCOMPARE(spy.count(), refuse ? 1 : 0);
        QCOMPARE(DockService::isFolderInDock(mine), refuse ? false : putBacks < 4);
    }

    void queuedChangesShareOneWaitBehindAStuckWriter()
    {
        // Another writer takes the lock and never lets go: every change queued behind it is given
        // up when the first is, not one wait after another.
        storeOthers({foreignTile()});
        std::optional<StoredFileLock> stuck(StoredFileLock::tryLock(dockFilePath()));
        QVERIFY(stuck->isHeld());
        QElapsedTimer since;
        since.start();
        QList<qint64> givenUpAt;
        QList<bool> results;
        for (const QString &name : {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}) {
            DockService::upsertFolderTile(makeFolder(name), name, Style::Grid, false, [&](bool written) {
                givenUpAt.append(since.elapsed());
                results.append(written);
            });
        }
        QTest::ignoreMessage(QtCriticalMsg, "Dock items left unchanged: another program held them for 15 s.");
        QTRY_COMPARE_WITH_TIMEOUT(givenUpAt.size(), 3, 25000);
        QCOMPARE(results, (QList<bool>{false, false, false}));
        QVERIFY2(givenUpAt.first() >= 14000, qPrintable(QString::number(givenUpAt.first())));
        QVERIFY2(givenUpAt.last() - givenUpAt.first() < 1000,
                 qPrintable(QStringLiteral("given up after %1 ms and %2 ms").arg(givenUpAt.first()).arg(givenUpAt.last())));
        QCOMPARE(m_file->writes, 0);

        // A change asked for after that waits afresh, and is made once the holder lets go.
        std::optional<bool> later;
        DockService::upsertFolderTile(makeFolder(QStringLiteral("D")), QStringLiteral("D"), Style::Grid, false,
                                      [&](bool written) { later = written; });
        QTest::qWait(200);
        QVERIFY(!later);
        stuck.reset();
        QTRY_VERIFY_WITH_TIMEOUT(later.has_value(), 20000);
        QVERIFY(*later);
        QCOMPARE(storedPaths(), (QStringList{pathOf(QStringLiteral("D")), QStringLiteral("<none>")}));
    }

    void refusedWritesAreLoggedEachTimeButAnnouncedOnce()
    {
        auto fake = std::make_unique<FakeDockPreferences>();
        fake->writeBehaviour = FakeDockPreferences::WriteBehaviour::DropSilently;
        DockPreferences::install(std::move(fake));
        QSignalSpy spy(&DockService::instance(), &DockService::syncBlockDidChange);

        QTest::ignoreMessage(QtCriticalMsg, qPrintable(refusedMessage));
        QVERIFY(!DockService::writePersistentOthers({foreignTile()}));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(refusedMessage));
        QVERIFY(!DockService::writePersistentOthers({foreignTile()}));

        QVERIFY(DockService::syncBlocked());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toMap(), (QVariantMap{{QStringLiteral("reason"), QStringLiteral("dock.sync.blocked")}}));

        DockService::clearSyncBlock();
        DockService::clearSyncBlock();
        QCOMPARE(spy.count(), 2);
        QVERIFY(spy.last().first().toMap().isEmpty());
        QVERIFY(!DockService::syncBlocked());
    }

    void refusedInPlaceReplacementIsNotASuccess()
    {
        // The list keeps its length when a tile is replaced, so only its content shows the refusal.
        auto fake = std::make_unique<FakeDockPreferences>();
        FakeDockPreferences *preferences = fake.get();
        const QUrl folder = makeFolder(QStringLiteral("G"));
        preferences->values.insert(QStringLiteral("persistent-others"),
                                   QVariantList{dockTile(folder.toString(QUrl::FullyEncoded), QStringLiteral("G"), qint64(1))});
        const QVariantMap before = preferences->values;
        preferences->writeBehaviour = FakeDockPreferences::WriteBehaviour::DropSilently;
        DockPreferences::install(std::move(fake));

        QTest::ignoreMessage(QtCriticalMsg, qPrintable(refusedMessage));
        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::List, false), std::optional<bool>(false));
        QVERIFY(DockService::syncBlocked());
        QCOMPARE(preferences->values, before);
        QCOMPARE(restarts(), 0);
    }

    void failedStorageBlocksTheSync()
    {
        auto fake = std::make_unique<FakeDockPreferences>();
        fake->writeBehaviour = FakeDockPreferences::WriteBehaviour::Fail;
        DockPreferences::install(std::move(fake));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(refusedMessage));
        QCOMPARE(upsertAll({{makeFolder(QStringLiteral("G")), QStringLiteral("G"), Style::Grid}}), std::optional<bool>(false));
        QVERIFY(DockService::syncBlocked());
        QCOMPARE(restarts(), 0);
    }

    void failedRestartKeepsTheListAndBlocks()
    {
        m_restarter->succeeds = false; // no Dock comes back
        QSignalSpy spy(&DockService::instance(), &DockService::syncBlockDidChange);
        const QUrl folder = makeFolder(QStringLiteral("G"));

        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::Grid, false), std::optional<bool>(false));
        QVERIFY(DockService::isFolderInDock(folder));
        QVERIFY(DockService::syncBlocked());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(restarts(), 1);
        QVERIFY(m_runner->invocations.isEmpty());
    }

    void unreadableListsAreNeverReplaced_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        const QString unreadable = QStringLiteral("Dock preferences cannot be read; Dock items left unchanged.");
        QTest::newRow("garbage") << QByteArray("\x00\x01 not a plist", 14) << unreadable;
        QTest::newRow("truncated binary") << PropertyList::toBinary(QVariantMap{{QStringLiteral("persistent-others"), QVariantList{foreignTile()}}}).left(40)
                                          << unreadable;
        QTest::newRow("root is an array") << PropertyList::toBinary(QVariantList{foreignTile()}) << unreadable;
        QTest::newRow("list is a string")
            << PropertyList::toBinary(QVariantMap{{QStringLiteral("persistent-others"), QStringLiteral("oops")}})
            << QStringLiteral("Dock items are not a list; Dock items left unchanged.");
    }

    void unreadableListsAreNeverReplaced()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        writeDockBytes(bytes);
        const QUrl folder = makeFolder(QStringLiteral("G"));

        QTest::ignoreMessage(QtCriticalMsg, qPrintable(message));
        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::Grid, false), std::optional<bool>(false));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(message));
        QCOMPARE(upsertAll({{folder, QStringLiteral("G"), Style::Grid}}), std::optional<bool>(false));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(message));
        QCOMPARE(remove(folder), std::optional<bool>(false));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(message));
        QVERIFY(!DockService::writePersistentOthers({DockService::folderTile(folder, QStringLiteral("G"), Style::Grid)}));

        QCOMPARE(dockFileBytes(), bytes);
        QCOMPARE(m_file->writes, 0);
        QCOMPARE(restarts(), 0);
        QVERIFY(!DockService::syncBlocked());
        QVERIFY(!DockService::isFolderInDock(folder));
    }

    void foreignValuesThatReadBackInexactlyDoNotBlockWrites()
    {
        // Real preference files hold dates with microseconds, which a millisecond reading cannot
        // hold, and reals that are not numbers, which never equal themselves.
        Tile foreign = foreignTile();
        QVariantMap data = tileDataOf(foreign);
        data.insert(QStringLiteral("ratio"), std::numeric_limits<double>::quiet_NaN());
        foreign.insert(QStringLiteral("tile-data"), data);
        storeOthers({foreign});
        const QByteArray written = dateBytes(double(1700000000123LL - referenceDateMs) / 1e3);
        const QByteArray exact = dateBytes(double(1700000000107034LL - referenceDateMs * 1000) / 1e6);
        QByteArray bytes = dockFileBytes();
        QVERIFY(bytes.contains(written));
        writeDockBytes(bytes.replace(written, exact));

        const QUrl folder = makeFolder(QStringLiteral("G"));
        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::Grid, false), std::optional<bool>(true));
        QVERIFY(!DockService::syncBlocked());
        QCOMPARE(remove(folder), std::optional<bool>(true));
        QVERIFY(!DockService::syncBlocked());
        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::List, false), std::optional<bool>(true));
        QVERIFY(!DockService::syncBlocked());
        QVERIFY2(dockFileBytes().contains(exact), "the foreign date was not kept to the microsecond");
        QCOMPARE(storedPaths(), (QStringList{pathOf(QStringLiteral("G")), QStringLiteral("<none>")}));
    }

    void realDockFileComesBackByteForByte()
    {
        // Settled once by our writer (libplist lays objects out in its own order); from then on an
        // add and a removal of the program's tile must give back exactly these bytes.
        const QByteArray original = HostileFiles::realisticDockFile();
        const QVariant others = PropertyList::parse(original)->toMap().value(QStringLiteral("persistent-others"));
        const QByteArray settled = *PropertyList::withKeyReplaced(original, QStringLiteral("persistent-others"), others);
        writeDockBytes(settled);
        const QUrl folder = makeFolder(QStringLiteral("G"));

        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::Grid, false), std::optional<bool>(true));
        QCOMPARE(storedPaths(), (QStringList{pathOf(QStringLiteral("G")), QStringLiteral("<none>"), QStringLiteral("/home/user/Documents")}));
        QCOMPARE(remove(folder), std::optional<bool>(true));
        QVERIFY(!DockService::syncBlocked());
        QCOMPARE(dockFileBytes().toHex(), settled.toHex());
    }

    void elementsThatAreNotTilesKeepTheirPlace()
    {
        const Tile old = dockTile(urlString(QStringLiteral("Old")));
        writeDockFile({{QStringLiteral("persistent-others"), QVariantList{foreignTile(), QStringLiteral("oops"), old, qint64(5)}}});
        const QUrl folder = makeFolder(QStringLiteral("G"));

        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::Grid, false), std::optional<bool>(true));
        QVariantList others = storedOthers();
        QCOMPARE(others.size(), 5);
        QCOMPARE(others.mid(1), (QVariantList{foreignTile(), QStringLiteral("oops"), old, qint64(5)}));
        QCOMPARE(remove(QUrl::fromLocalFile(pathOf(QStringLiteral("Old")))), std::optional<bool>(true));
        QCOMPARE(storedOthers().mid(1), (QVariantList{foreignTile(), QStringLiteral("oops"), qint64(5)}));
        QCOMPARE(upsertAll({{folder, QStringLiteral("H"), Style::List}}), std::optional<bool>(true));
        QCOMPARE(storedOthers().mid(1), (QVariantList{foreignTile(), QStringLiteral("oops"), qint64(5)}));
        QVERIFY(!DockService::syncBlocked());

        // The whole list written anew: the tiles take the tiles' places, the rest stays put.
        QCOMPARE(DockService::readPersistentOthers().size(), 2);
        QVERIFY(DockService::writePersistentOthers({foreignTile()}));
        QCOMPARE(storedOthers(), (QVariantList{foreignTile(), QStringLiteral("oops"), qint64(5)}));
        QVERIFY(DockService::writePersistentOthers({foreignTile(), old}));
        QCOMPARE(storedOthers(), (QVariantList{foreignTile(), QStringLiteral("oops"), qint64(5), old}));
        QVERIFY(!DockService::syncBlocked());
    }

    void emptyPreferencesFileHoldsNothingToLose()
    {
        writeDockBytes(QByteArray());
        const QUrl folder = makeFolder(QStringLiteral("G"));
        QCOMPARE(upsert(folder, QStringLiteral("G"), Style::Grid, false), std::optional<bool>(true));
        QCOMPARE(storedPaths(), QStringList{pathOf(QStringLiteral("G"))});
    }

    void adapterRefusesToReplaceAnUnreadableFile()
    {
        writeDockBytes("garbage");
        DockPreferencesFile file;
        QCOMPARE(file.read(), std::nullopt);
        QVERIFY(!file.write(QStringLiteral("persistent-others"), QVariantList{}));
        QCOMPARE(dockFileBytes(), QByteArray("garbage"));
    }

    void missingFileOrKeyReadsAsAnEmptyList()
    {
        QVERIFY(DockService::readPersistentOthers().isEmpty());
        const QUrl folder = makeFolder(QStringLiteral("First"));
        QCOMPARE(upsert(folder, QStringLiteral("First"), Style::Grid, false), std::optional<bool>(true));
        QCOMPARE(storedPaths(), QStringList{pathOf(QStringLiteral("First"))});

        writeDockFile({{QStringLiteral("orientation"), QStringLiteral("right")}});
        QVERIFY(DockService::readPersistentOthers().isEmpty());
        QVERIFY(DockService::writePersistentOthers({}));
        QCOMPARE(readDockFile(), (QVariantMap{{QStringLiteral("orientation"), QStringLiteral("right")},
                                              {QStringLiteral("persistent-others"), QVariantList{}}}));
    }

    void writeOfCallerBuiltTilesIsConfirmed()
    {
        // Tiles built with plain ints read back as 64-bit integers; that is the same content.
        Tile tile = DockService::folderTile(makeFolder(QStringLiteral("G")), QStringLiteral("G"), Style::Grid);
        QVariantMap data = tile.value(QStringLiteral("tile-data")).toMap();
        data.insert(QStringLiteral("showas"), int(2));
        tile.insert(QStringLiteral("tile-data"), data);
        QVERIFY(DockService::writePersistentOthers({tile, foreignTile()}));
        QVERIFY(!DockService::syncBlocked());
    }

    void changesMadeByOthersAreSeenAtOnce()
    {
        // Same size, same file: only the content differs between the two reads.
        const QUrl folder = makeFolder(QStringLiteral("G"));
        storeOthers({dockTile(folder.toString(QUrl::FullyEncoded), QStringLiteral("AAAA"))});
        QCOMPARE(tileDataOf(DockService::readPersistentOthers().first()).value(QStringLiteral("file-label")), QVariant(QStringLiteral("AAAA")));
        storeOthers({dockTile(folder.toString(QUrl::FullyEncoded), QStringLiteral("BBBB"))});
        QCOMPARE(tileDataOf(DockService::readPersistentOthers().first()).value(QStringLiteral("file-label")), QVariant(QStringLiteral("BBBB")));

        writeDockBytes("garbage");
        QVERIFY(DockService::readPersistentOthers().isEmpty());
        QFile::remove(dockFilePath());
        QVERIFY(!DockService::isFolderInDock(folder));
    }
};

KESTROWAN_TEST_MAIN(TestDockService)
#include "tst_dockservice.moc"
