// The stand-in Dock's parts that need no screen: its preferences file, its layout, application
// descriptions, the passage of events through taps, and the fakes that stand in for the Dock in
// the program's own tests.

#include "Platform/PropertyList.h"
#include "Platform/dockstandin/ApplicationInfo.h"
#include "Platform/dockstandin/DockAccessibilityState.h"
#include "Platform/dockstandin/DockLayout.h"
#include "Platform/dockstandin/DockOpener.h"
#include "Platform/dockstandin/DockTilesFile.h"
#include "Platform/dockstandin/SessionBusAddress.h"
#include "Platform/dockstandin/TapHub.h"
#include "Platform/dockstandin/TileIcons.h"
#include "Platform/dockstandin/TilePictures.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/fake/FakeAccessibility.h"
#include "Platform/linux/DesktopIcons.h"
#include "Platform/fake/FakeEventTaps.h"
#include "Platform/safewrite/StoredFileLock.h"
#include "tests/standin/DockPreferencesWriter.h"
#include "tests/support/FullDisk.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeZone>

#include <csignal>
#include <sys/stat.h>
#include <thread>

namespace {

QString writeFile(const QString &path, const QByteArray &contents)
{
    writeTestFile(path, contents);
    return path;
}

} // namespace

namespace {

// The picture of a tile's file as the Dock gets it: decoded by the program's icon helper.
QImage decodedPicture(const QString &path, int side)
{
    TilePictures pictures(side);
    QSignalSpy answered(&pictures, &TilePictures::answered);
    pictures.ask(path);
    if (answered.isEmpty() && !answered.wait(60000))
        return {};
    return answered.first().at(1).value<QImage>();
}

} // namespace

class TestStandinParts : public QObject {
    Q_OBJECT

private:
    QString m_home = QDir::homePath();

private slots:
    void preferencesGiveTilesEdgeAndHiding()
    {
        const QString path = m_home + QStringLiteral("/prefs/com.apple.dock.plist");
        const QString folder = m_home + QStringLiteral("/Groups/Work Tools");
        QDir().mkpath(folder);
        writeDockPreferences(path, QStringLiteral("Left"), true, {m_home + QStringLiteral("/a.desktop")}, {folder});
        const DockSettings settings = DockTilesFile(path).read();
        QVERIFY(settings.readable);
        QCOMPARE(settings.orientation, QStringLiteral("left"));
        QVERIFY(settings.autohide);
        QVERIFY(settings.hasPersistentApps);
        QCOMPARE(settings.applications.size(), 1);
        QCOMPARE(settings.others.size(), 1);
        QCOMPARE(settings.others.first().path, folder); // written with a trailing slash and an escaped space
        QCOMPARE(settings.others.first().kind, DockTileEntry::Kind::Folder);

        writeDockPreferences(path, QStringLiteral("top"), false, {}, {});
        QCOMPARE(DockTilesFile(path).read().orientation, QStringLiteral("bottom"));
        const DockSettings none = DockTilesFile(m_home + QStringLiteral("/missing.plist")).read();
        QVERIFY(none.readable);
        QVERIFY(!none.hasPersistentApps);
    }

    void damagedPreferencesAreNotUsedNorOverwritten()
    {
        const QString path = writeFile(m_home + QStringLiteral("/damaged.plist"), "bplist00\x01\x02garbage");
        const DockSettings settings = DockTilesFile(path).read();
        QVERIFY(!settings.readable);
        QVERIFY(settings.applications.isEmpty());
        const DockTileEntry entry{DockTileEntry::Kind::Application, QStringLiteral("/x.desktop"), {}, {}};
        QCOMPARE(DockTilesFile(path).removeTile(entry, {entry}), DockTilesFile::Change::Failed);
        QCOMPARE(readTestFile(path), QByteArray("bplist00\x01\x02garbage"));

        // An XML list whose entries are not tiles yields nothing and no crash.
        const QString xml = writeFile(m_home + QStringLiteral("/odd.plist"),
                                      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                      "<key>persistent-apps</key><array><string>x</string><dict><key>tile-data</key><integer>3</integer></dict>"
                                      "<dict><key>tile-data</key><dict><key>file-data</key><dict><key>_CFURLString</key>"
                                      "<string>http://example.invalid/app</string></dict></dict></dict></array>"
                                      "<key>persistent-others</key><string>not a list</string></dict></plist>");
        const DockSettings odd = DockTilesFile(xml).read();
        QVERIFY(odd.readable);
        QVERIFY(odd.hasPersistentApps);
        QVERIFY(odd.applications.isEmpty());
        QVERIFY(odd.others.isEmpty());
    }

    void urlStringsBecomeCleanPaths()
    {
        QCOMPARE(dockTilePathFromURLString(QStringLiteral("file:///Users/a/Work%20Tools/")), QStringLiteral("/Users/a/Work Tools"));
        QCOMPARE(dockTilePathFromURLString(QStringLiteral("/Users/a/./b/../c//")), QStringLiteral("/Users/a/c"));
        QCOMPARE(dockTilePathFromURLString(QStringLiteral("file:///")), QStringLiteral("/"));
        QCOMPARE(dockTilePathFromURLString(QStringLiteral("relative/path")), QString());
        QCOMPARE(dockTilePathFromURLString(QStringLiteral("https://host/x")), QString());
        QCOMPARE(dockTilePathFromURLString(QString()), QString());
        QCOMPARE(dockTilePathFromURLString(QStringLiteral("file://localhost/Users/a/Work/")), QStringLiteral("/Users/a/Work"));
        QCOMPARE(dockTilePathFromURLString(QStringLiteral("file://server/Users/a/Work/")), QString());
    }

    void removingATileKeepsEverythingElse()
    {
        const QString path = m_home + QStringLiteral("/remove/com.apple.dock.plist");
        const QString a = m_home + QStringLiteral("/a.desktop");
        const QString b = m_home + QStringLiteral("/b.desktop");
        const QString folder = m_home + QStringLiteral("/Groups/Work Tools");
        writeDockPreferences(path, QStringLiteral("right"), false, {a, b}, {folder});
        const DockTilesFile file(path);
        QCOMPARE(file.removeTile({DockTileEntry::Kind::Application, a, {}, {}}, {}), DockTilesFile::Change::Written);
        DockSettings settings = file.read();
        QCOMPARE(settings.applications.size(), 1);
        QCOMPARE(settings.applications.first().path, b);
        QCOMPARE(settings.others.size(), 1);
        QCOMPARE(settings.orientation, QStringLiteral("right"));
        QVERIFY(dockPreferencesHasKey(path, "mod-count"));

        QCOMPARE(file.removeTile({DockTileEntry::Kind::Folder, folder, {}, {}}, {}), DockTilesFile::Change::Written);
        QCOMPARE(file.read().others.size(), 0);
        QCOMPARE(dockPreferencesCount(path, "persistent-others"), 0);
        // Removing what is not there changes nothing.
        QCOMPARE(file.removeTile({DockTileEntry::Kind::Folder, folder, {}, {}}, {}), DockTilesFile::Change::Written);
        QCOMPARE(file.read().applications.size(), 1);
    }

    void keysTheDockDoesNotUseSurviveARemoval()
    {
        const QString path = writeFile(m_home + QStringLiteral("/kept/com.apple.dock.plist"),
                                       "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                       "<key>persistent-apps</key><array><dict><key>tile-data</key><dict><key>file-data</key><dict>"
                                       "<key>_CFURLString</key><string>file:///apps/a.desktop</string></dict>"
                                       "</dict></dict></array>"
                                       "<key>persistent-others</key><array><dict><key>tile-data</key><dict><key>file-data</key><dict>"
                                       "<key>_CFURLString</key><string>/docs/b.txt</string></dict><key>book</key><data>AAEC</data>"
                                       "</dict></dict></array>"
                                       "<key>last-changed</key><date>2024-03-01T10:20:30Z</date><key>tilesize</key><real>48.5</real>"
                                       "<key>wvous-tl-corner</key><true/></dict></plist>");
        QCOMPARE(DockTilesFile(path).removeTile({DockTileEntry::Kind::Application, QStringLiteral("/apps/a.desktop"), {}, {}}, {}), DockTilesFile::Change::Written);
        const std::optional<QVariant> root = PropertyList::parse(readTestFile(path));
        QVERIFY(root);
        const QVariantMap dock = root->toMap();
        QCOMPARE(dock.value(QStringLiteral("persistent-apps")).toList().size(), 0);
        QCOMPARE(dock.value(QStringLiteral("last-changed")).toDateTime(), QDateTime(QDate(2024, 3, 1), QTime(10, 20, 30), QTimeZone::utc()));
        QCOMPARE(dock.value(QStringLiteral("tilesize")).typeId(), QMetaType::Double);
        QCOMPARE(dock.value(QStringLiteral("tilesize")).toDouble(), 48.5);
        QCOMPARE(dock.value(QStringLiteral("wvous-tl-corner")), QVariant(true));
        const QVariantMap other = dock.value(QStringLiteral("persistent-others")).toList().value(0).toMap();
        QCOMPARE(other.value(QStringLiteral("tile-data")).toMap().value(QStringLiteral("book")), QVariant(QByteArray("\x00\x01\x02", 3)));
        QVERIFY(readTestFile(path).startsWith("bplist00"));
    }

    void aRemovalWritesEveryOtherValueBackByteForByte()
    {
        const QByteArray original = HostileFiles::realisticDockFile();
        const QVariantList apps = PropertyList::parse(original)->toMap().value(QStringLiteral("persistent-apps")).toList();
        const QByteArray settled = *PropertyList::withKeyReplaced(original, QStringLiteral("persistent-apps"), apps);
        const QString path = writeFile(m_home + QStringLiteral("/exact/com.apple.dock.plist"), settled);
        QCOMPARE(DockTilesFile(path).removeTile({DockTileEntry::Kind::Application, QStringLiteral("/Applications/App 0.app"), {}, {}}, {}), DockTilesFile::Change::Written);
        QCOMPARE(readTestFile(path).toHex(), PropertyList::withKeyReplaced(settled, QStringLiteral("persistent-apps"), apps.mid(1))->toHex());
        QCOMPARE(DockTilesFile(path).read().others.size(), 1); // the folder tile without a URL string names no path
    }

    void aFullDiskKeepsTheDockPreferencesWhole()
    {
        const QString path = m_home + QStringLiteral("/fulldisk/com.apple.dock.plist");
        writeDockPreferences(path, QStringLiteral("bottom"), false, {m_home + QStringLiteral("/a.desktop"), m_home + QStringLiteral("/b.desktop")}, {});
        const QByteArray before = readTestFile(path);
        {
            const FullDisk disk(64);
            QVERIFY(disk.active());
            QCOMPARE(DockTilesFile(path).removeTile({DockTileEntry::Kind::Application, m_home + QStringLiteral("/a.desktop"), {}, {}}, {}), DockTilesFile::Change::Failed);
        }
        QCOMPARE(readTestFile(path), before);
        // No half-written file left beside it; the lock file every writer shares stays.
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral(".com.apple.dock.plist.lock"), QStringLiteral("com.apple.dock.plist")}));
        QCOMPARE(DockTilesFile(path).removeTile({DockTileEntry::Kind::Application, m_home + QStringLiteral("/a.desktop"), {}, {}}, {}), DockTilesFile::Change::Written);
        QCOMPARE(DockTilesFile(path).read().applications.size(), 1);
    }

    void hostilePreferencesAreRefusedWithoutACrash()
    {
        // One label holding U+0000 used to abort the stand-in at every start; such a list is valid
        // and now read whole.
        for (const QByteArray &bytes : {HostileFiles::nulInUtf16String(), HostileFiles::nulInUtf16Key()}) {
            const QString path = writeFile(m_home + QStringLiteral("/nul/com.apple.dock.plist"), bytes);
            QVERIFY(DockTilesFile(path).read().readable);
        }
        for (const QByteArray &bytes : {HostileFiles::sharedReferences(30), HostileFiles::sharedLargeString(64 * 1024, 2000)}) {
            const QString path = writeFile(m_home + QStringLiteral("/hostile/com.apple.dock.plist"), bytes);
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused a binary property list")));
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("are not a property-list dictionary")));
            QVERIFY(!DockTilesFile(path).read().readable);
        }
        const QString empty = writeFile(m_home + QStringLiteral("/empty/com.apple.dock.plist"), QByteArray());
        QVERIFY(DockTilesFile(empty).read().readable);
    }

    void removingAnOfferedApplicationKeepsTheOthersOffered()
    {
        const QString path = m_home + QStringLiteral("/offered/com.apple.dock.plist");
        const QList<DockTileEntry> offered{{DockTileEntry::Kind::Application, QStringLiteral("/apps/one.desktop"), QStringLiteral("One"), QStringLiteral("one")},
                                           {DockTileEntry::Kind::Application, QStringLiteral("/apps/two.desktop"), QStringLiteral("Two"), QStringLiteral("two")}};
        QCOMPARE(DockTilesFile(path).removeTile(offered.first(), offered), DockTilesFile::Change::Written);
        const DockSettings settings = DockTilesFile(path).read();
        QVERIFY(settings.hasPersistentApps);
        QCOMPARE(settings.applications.size(), 1);
        QCOMPARE(settings.applications.first().path, QStringLiteral("/apps/two.desktop"));
        QCOMPARE(settings.applications.first().label, QStringLiteral("Two"));
        QCOMPARE(settings.applications.first().bundleIdentifier, QStringLiteral("two"));
    }

    // The first start writes the offered applications down; a file already there is never touched,
    // even one without applications or one that cannot be read.
    void aWriterHoldingTheLockIsWaitedFor()
    {
        // The program on another display writes the same file under the same lock: while it holds
        // it, the Dock neither looks nor writes, and says to ask again.
        const QString path = m_home + QStringLiteral("/locked/com.apple.dock.plist");
        const QString a = m_home + QStringLiteral("/a.desktop");
        writeDockPreferences(path, QStringLiteral("bottom"), false, {a}, {});
        const QByteArray before = readTestFile(path);
        const QString fresh = m_home + QStringLiteral("/locked-first/com.apple.dock.plist");
        QVERIFY(QDir().mkpath(QFileInfo(fresh).absolutePath()));
        const DockTileEntry entry{DockTileEntry::Kind::Application, a, {}, {}};
        {
            const StoredFileLock held = StoredFileLock::tryLock(path);
            const StoredFileLock heldFresh = StoredFileLock::tryLock(fresh);
            QVERIFY(held.isHeld() && heldFresh.isHeld());
            QCOMPARE(DockTilesFile(path).removeTile(entry, {}), DockTilesFile::Change::Busy);
            QCOMPARE(DockTilesFile(fresh).keepFirstApplications({entry}), DockTilesFile::Change::Busy);
            QCOMPARE(readTestFile(path), before);
            QVERIFY(!QFileInfo::exists(fresh));
        }
        QCOMPARE(DockTilesFile(path).removeTile(entry, {}), DockTilesFile::Change::Written);
        QCOMPARE(DockTilesFile(path).read().applications.size(), 0);
        QCOMPARE(DockTilesFile(fresh).keepFirstApplications({entry}), DockTilesFile::Change::Written);
    }

    void firstStartKeepsTheOfferedApplications()
    {
        const QList<DockTileEntry> offered{{DockTileEntry::Kind::Application, QStringLiteral("/apps/one.desktop"), QStringLiteral("One"), QStringLiteral("one")},
                                           {DockTileEntry::Kind::Application, QStringLiteral("/apps/two.desktop"), QStringLiteral("Two"), QStringLiteral("two")}};
        const QString fresh = m_home + QStringLiteral("/first/Library/Preferences/com.apple.dock.plist");
        QCOMPARE(DockTilesFile(fresh).keepFirstApplications(offered), DockTilesFile::Change::Written);
        const DockSettings settings = DockTilesFile(fresh).read();
        QVERIFY(settings.hasPersistentApps);
        QCOMPARE(settings.applications.size(), 2);
        QCOMPARE(settings.applications.at(1).path, QStringLiteral("/apps/two.desktop"));
        QCOMPARE(settings.applications.at(1).label, QStringLiteral("Two"));
        QCOMPARE(DockTilesFile(fresh).keepFirstApplications(offered.mid(0, 1)), DockTilesFile::Change::Kept);
        QCOMPARE(DockTilesFile(fresh).read().applications.size(), 2);

        for (const QByteArray &contents : {QByteArray(), QByteArray("not a property list")}) {
            const QString existing = writeFile(m_home + QStringLiteral("/kept/com.apple.dock.plist"), contents);
            QCOMPARE(DockTilesFile(existing).keepFirstApplications(offered), DockTilesFile::Change::Kept);
            QFile file(existing);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), contents);
        }
    }

    void layoutFollowsTheEdge_data()
    {
        QTest::addColumn<QString>("orientation");
        QTest::newRow("bottom") << QStringLiteral("bottom");
        QTest::newRow("left") << QStringLiteral("left");
        QTest::newRow("right") << QStringLiteral("right");
    }

    void layoutFollowsTheEdge()
    {
        QFETCH(QString, orientation);
        const QRect screen(100, 50, 1440, 900);
        const DockLayout layout = DockLayout::compute(screen, orientation, 2, 2);
        QCOMPARE(layout.tiles.size(), 4);
        QVERIFY(layout.separator);
        QVERIFY(screen.contains(layout.bar));
        QCOMPARE(layout.thickness(), DockLayout::tileSize + 2 * DockLayout::padding);
        for (const QRect &tile : layout.tiles)
            QVERIFY(layout.bar.contains(tile));
        if (orientation == QLatin1String("bottom")) {
            QCOMPARE(layout.bar.bottom(), screen.bottom());
            QCOMPARE(layout.bar.center().x(), screen.center().x());
            QVERIFY(layout.separator->left() > layout.tiles[1].right() && layout.separator->right() < layout.tiles[2].left());
        } else {
            QCOMPARE(orientation == QLatin1String("left") ? layout.bar.left() : layout.bar.right(),
                     orientation == QLatin1String("left") ? screen.left() : screen.right());
            QVERIFY(layout.tiles[3].top() > layout.tiles[2].bottom());
        }
        // Neighbours leave a gap that is no tile's.
        QCOMPARE(layout.tiles[1].topLeft() - layout.tiles[0].topLeft(),
                 layout.isVertical() ? QPoint(0, DockLayout::tileSize + DockLayout::gap) : QPoint(DockLayout::tileSize + DockLayout::gap, 0));
    }

    void aCrowdedBarShrinksItsTilesToFit()
    {
        const QRect screen(0, 0, 800, 600);
        const DockLayout layout = DockLayout::compute(screen, QStringLiteral("bottom"), 30, 0);
        QVERIFY(!layout.separator);
        QVERIFY(layout.tiles.first().width() < DockLayout::tileSize);
        QVERIFY(screen.contains(layout.bar));
        const DockLayout empty = DockLayout::compute(screen, QStringLiteral("left"), 0, 0);
        QVERIFY(empty.tiles.isEmpty());
        QVERIFY(!empty.bar.isEmpty());
    }

    // A clicked application is the user's and outlives the Dock: it holds none of the Dock's
    // streams or descriptors, only /dev/null.
    void aClickedApplicationHoldsNothingOfTheDock()
    {
        const InheritablePipe leaked;
        QVERIFY(leaked.isValid());
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        WaitingApplication waiting(folder.path());
        QVERIFY(waiting.isValid());
        qunsetenv("KESTROWAN_DOCK_OPEN_LOG");
        ApplicationInfo application;
        application.name = QStringLiteral("Waiting");
        application.program = waiting.program();
        DockTileEntry entry;
        entry.path = folder.filePath(QStringLiteral("app.desktop"));
        waiting.expectStart();
        DockOpener::open(entry, application);
        QVERIFY(waiting.waitForStart(30000) > 0);
        QCOMPARE(waiting.descriptors(), QStringLiteral("0 -> /dev/null; 1 -> /dev/null; 2 -> /dev/null"));
    }

    void execValuesSplitWithoutAShell()
    {
        QCOMPARE(desktopExecArguments(QStringLiteral("firefox %u")), QStringList{QStringLiteral("firefox")});
        QCOMPARE(desktopExecArguments(QStringLiteral("\"/opt/My App/run\" --name \"a \\\"b\\\"\" %F")),
                 (QStringList{QStringLiteral("/opt/My App/run"), QStringLiteral("--name"), QStringLiteral("a \"b\"")}));
        QCOMPARE(desktopExecArguments(QStringLiteral("app --rate=100%% --x=%i")),
                 (QStringList{QStringLiteral("app"), QStringLiteral("--rate=100%"), QStringLiteral("--x=")}));
        QCOMPARE(desktopExecArguments(QStringLiteral("app; rm -rf ~ `x`")),
                 (QStringList{QStringLiteral("app;"), QStringLiteral("rm"), QStringLiteral("-rf"), QStringLiteral("~"), QStringLiteral("`x`")}));
        QVERIFY(desktopExecArguments(QStringLiteral("\"unclosed")).isEmpty());
    }

    void applicationsAreDescribedByEntryOrBundle()
    {
        const QString entry = writeFile(m_home + QStringLiteral("/apps/editor.desktop"),
                                        "# comment\n[Desktop Entry]\nType=Application\nName[de]=Bearbeiter\nName=My\\sEditor\n"
                                        "Exec=editor \"--new Window\" %f\nIcon=/nonexistent.png\n[Desktop Action x]\nName=Other\n");
        const std::optional<ApplicationInfo> info = ApplicationInfo::fromPath(entry);
        QVERIFY(info);
        QCOMPARE(info->name, QStringLiteral("My Editor"));
        QCOMPARE(info->bundleIdentifier, QStringLiteral("editor"));
        QCOMPARE(info->program, QStringLiteral("editor"));
        QCOMPARE(info->arguments, QStringList{QStringLiteral("--new Window")});
        DockTileEntry tile;
        tile.path = entry;
        QVERIFY(TileIcons::pictureFiles(tile, info, 48).isEmpty());

        const QString link = writeFile(m_home + QStringLiteral("/apps/link.desktop"), "[Desktop Entry]\nType=Link\nURL=x\n");
        QVERIFY(!ApplicationInfo::fromPath(link));
        QVERIFY(!ApplicationInfo::fromPath(m_home + QStringLiteral("/apps/missing.desktop")));

        const QString bundle = m_home + QStringLiteral("/Applications/Calc.app");
        writeFile(bundle + QStringLiteral("/Contents/Info.plist"),
                  "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleName</key><string>Calculator</string>"
                  "<key>CFBundleExecutable</key><string>calc</string><key>CFBundleIdentifier</key><string>com.example.calc</string>"
                  "<key>CFBundleIconFile</key><string>../../evil</string></dict></plist>");
        const std::optional<ApplicationInfo> app = ApplicationInfo::fromPath(bundle);
        QVERIFY(app);
        QCOMPARE(app->name, QStringLiteral("Calculator"));
        QCOMPARE(app->program, bundle + QStringLiteral("/Contents/MacOS/calc"));
        QCOMPARE(app->bundleIdentifier, QStringLiteral("com.example.calc"));
        QVERIFY(app->icon.isEmpty()); // a path out of the bundle is not followed

        const QString broken = m_home + QStringLiteral("/Applications/Broken.app");
        writeFile(broken + QStringLiteral("/Contents/Info.plist"), "\x00\x01 not a plist");
        QCOMPARE(ApplicationInfo::fromPath(broken)->name, QStringLiteral("Broken"));
    }

    // An application whose only icon is a scalable picture in "hicolor": the tile shows that
    // picture, found as the program finds it and decoded by its helper, not a drawn letter.
    void aTileShowsAScalableThemeIcon()
    {
        const QString entry = installApplicationWithScalableIcon(QStringLiteral("kestrowan-test-terminal"), QStringLiteral("#12c48b"));
        const std::optional<ApplicationInfo> info = ApplicationInfo::fromPath(entry);
        QVERIFY(info);
        DockTileEntry tile;
        tile.path = entry;
        const QStringList files = TileIcons::pictureFiles(tile, info, 48);
        QCOMPARE(files.size(), 1);
        const QImage image = decodedPicture(files.first(), 48);
        QCOMPARE(image.size(), QSize(48, 48));
        for (const QPoint at : {QPoint(6, 6), QPoint(24, 24), QPoint(41, 41)})
            QCOMPARE(image.pixelColor(at).name(), QStringLiteral("#12c48b"));

        // One with no picture at all shows the program's generic application symbol.
        const QString bare = writeFile(m_home + QStringLiteral("/apps/bare.desktop"),
                                       "[Desktop Entry]\nType=Application\nName=Bare\nExec=/bin/true\nIcon=no-such-icon\n");
        tile.path = bare;
        QVERIFY(TileIcons::pictureFiles(tile, ApplicationInfo::fromPath(bare), 48).isEmpty());
        QCOMPARE(TileIcons::standIn(tile, QStringLiteral("Bare"), 48).convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 DesktopIcons::genericApplication().pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    // The folder stand-in is looked up once for each theme and size and kept: it follows a change of
    // icon theme, back and forth, and each size is its own.
    void theKeptFolderStandInFollowsTheIconTheme()
    {
        const QString themes = m_home + QStringLiteral("/test-themes");
        const QList<QPair<QString, QColor>> looks = {{QStringLiteral("kestrowan-test-red"), QColor(200, 30, 30)},
                                                     {QStringLiteral("kestrowan-test-blue"), QColor(30, 60, 200)}};
        for (const auto &[theme, colour] : looks) {
            writeFile(themes + u'/' + theme + QStringLiteral("/index.theme"),
                      "[Icon Theme]\nName=" + theme.toUtf8() + "\nDirectories=48x48/places\n\n[48x48/places]\nSize=48\nType=Fixed\n");
            QImage folder(48, 48, QImage::Format_ARGB32);
            folder.fill(colour);
            QVERIFY(QDir().mkpath(themes + u'/' + theme + QStringLiteral("/48x48/places")));
            QVERIFY(folder.save(themes + u'/' + theme + QStringLiteral("/48x48/places/folder.png")));
        }
        const QStringList searchPaths = QIcon::themeSearchPaths();
        const QString themeName = QIcon::themeName();
        // The next tests find the theme as it was, also when a comparison below fails.
        const auto restore = qScopeGuard([&] {
            QIcon::setThemeName(themeName);
            QIcon::setThemeSearchPaths(searchPaths);
        });
        QIcon::setThemeSearchPaths(QStringList{themes} + searchPaths);
        DockTileEntry tile;
        tile.kind = DockTileEntry::Kind::Folder;
        tile.path = m_home + QStringLiteral("/Groups/Plain");
        for (int round = 0; round < 4; ++round) {
            for (const auto &[theme, colour] : looks) {
                QIcon::setThemeName(theme);
                for (const int side : {48, 96}) {
                    const QImage shown = TileIcons::standIn(tile, QStringLiteral("Plain"), side);
                    QCOMPARE(shown.size(), QSize(side, side));
                    QCOMPARE(shown.pixelColor(side / 2, side / 2).name(), colour.name());
                }
            }
        }
    }

    // A folder's picture is shown as Qt reads it, whatever kind of PNG it is: the composed pictures
    // the program writes and a 16-bit one a user put there.
    void aFolderShowsItsPictureAsQtReadsIt()
    {
        QImage picture(512, 512, QImage::Format_ARGB32);
        for (int y = 0; y < 512; ++y)
            for (int x = 0; x < 512; ++x)
                picture.setPixel(x, y, qRgba(x / 2, y / 2, (x * y) & 0xff, x < 64 ? 0 : (x + y) & 0xff));
        const int size = DockLayout::tileSize * 2;
        for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGBA64}) {
            const QString folder = m_home + QStringLiteral("/Folder%1").arg(int(format));
            QVERIFY(QDir().mkpath(folder));
            QVERIFY(picture.convertToFormat(format).save(folder + QStringLiteral("/Icon\r"), "PNG"));
            // Read by Qt, made premultiplied 8-bit, then scaled smoothly: how the icon helper draws
            // every picture Qt reads for it.
            const QImage expected = QImage::fromData(readTestFile(folder + QStringLiteral("/Icon\r")))
                                        .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                        .scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            DockTileEntry tile;
            tile.kind = DockTileEntry::Kind::Folder;
            tile.path = folder;
            const QStringList files = TileIcons::pictureFiles(tile, std::nullopt, size);
            QCOMPARE(files, QStringList{folder + QStringLiteral("/Icon\r")});
            QCOMPARE(decodedPicture(files.first(), size).convertToFormat(QImage::Format_ARGB32_Premultiplied), expected);
        }
    }

    // What a fifo, a sparse file of gigabytes or a picture that takes long to draw named as a
    // tile's picture gives: no picture, answered, never a wait on it; other tiles' pictures come
    // meanwhile.
    void hostilePictureFilesGiveNoPicture()
    {
        const QString folder = m_home + QStringLiteral("/Hostile");
        QVERIFY(QDir().mkpath(folder));
        const QString fifo = folder + QStringLiteral("/fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString sparse = folder + QStringLiteral("/sparse");
        HostileFiles::writeSparseFile(sparse, HostileFiles::blankPng(64, 64), 2LL * 1024 * 1024 * 1024);
        const QString good = folder + QStringLiteral("/good.png");
        QImage green(64, 64, QImage::Format_ARGB32);
        green.fill(Qt::green);
        QVERIFY(green.save(good, "PNG"));
        TilePictures pictures(64);
        QSignalSpy answered(&pictures, &TilePictures::answered);
        for (const QString &path : {fifo, sparse, good})
            pictures.ask(path);
        QTRY_COMPARE_WITH_TIMEOUT(answered.size(), 3, 60000);
        QHash<QString, QImage> answers;
        for (const QList<QVariant> &answer : answered)
            answers.insert(answer.at(0).toString(), answer.at(1).value<QImage>());
        QVERIFY(answers.value(fifo).isNull());
        QVERIFY(answers.value(sparse).isNull());
        QCOMPARE(answers.value(good).pixelColor(32, 32), QColor(Qt::green));
        QVERIFY(pictures.isIdle());
    }

    void aDockWithoutKeptApplicationsOffersAFew()
    {
        const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/");
        writeFile(folder + QStringLiteral("aaa-tool.desktop"), "[Desktop Entry]\nType=Application\nName=Tool\nExec=tool\n");
        writeFile(folder + QStringLiteral("hidden.desktop"), "[Desktop Entry]\nType=Application\nName=Hidden\nExec=h\nNoDisplay=true\n");
        writeFile(folder + QStringLiteral("noexec.desktop"), "[Desktop Entry]\nType=Application\nName=NoExec\n");
        writeFile(folder + QStringLiteral("zz-term.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Term\nExec=term\nCategories=System;TerminalEmulator;\n");
        qputenv("XDG_DATA_DIRS", (m_home + QStringLiteral("/no-system-data")).toUtf8());
        const QList<DockTileEntry> offered = offeredApplications(4);
        QCOMPARE(offered.size(), 2);
        QCOMPARE(offered[0].label, QStringLiteral("Term")); // a terminal before anything without a role
        QCOMPARE(offered[1].label, QStringLiteral("Tool"));
        QCOMPARE(offered[0].bundleIdentifier, QStringLiteral("zz-term"));
        QCOMPARE(offeredApplications(1).size(), 1);
    }

    void theTreeAnswersAsTheDocksDoes()
    {
        DockAccessibilityState state;
        state.setTiles({{20, QStringLiteral("Mail"), QStringLiteral("AXApplicationDockItem"), QStringLiteral("/a/mail.desktop"), QRectF(0, 0, 10, 10)}},
                       QRectF(0, 0, 30, 20), false);
        QVERIFY(!state.tileAt(QPointF(5, 5))); // a hidden bar has nothing under the pointer
        state.setTiles({{20, QStringLiteral("Mail"), QStringLiteral("AXApplicationDockItem"), QStringLiteral("/a/mail.desktop"), QRectF(0, 0, 10, 10)}},
                       QRectF(0, 0, 30, 20), true);
        QCOMPARE(state.tileAt(QPointF(5, 5)), std::optional<quint64>(20));
        QVERIFY(!state.tileAt(QPointF(20, 5)));
        QVERIFY(state.setSelected(20));
        QVERIFY(!state.setSelected(20));
        QVariant value;
        QCOMPARE(state.attribute(DockWire::listElement, QStringLiteral("AXSelectedChildren"), &value, 9), AXError::Success);
        QCOMPARE(value.value<QList<AXUIElement>>(), (QList<AXUIElement>{{9, 20}}));
        QCOMPARE(state.attribute(20, QStringLiteral("AXURL"), &value, 9), AXError::Success);
        QCOMPARE(value.toUrl().toLocalFile(), QStringLiteral("/a/mail.desktop"));
        QCOMPARE(state.attribute(DockWire::applicationElement, QStringLiteral("AXSubrole"), &value, 9), AXError::AttributeUnsupported);
        QCOMPARE(state.attribute(21, QStringLiteral("AXTitle"), &value, 9), AXError::InvalidUIElement);
    }

    void tapsSeeEventsInOrderAndTheFirstDropEndsTheRun()
    {
        QList<QPair<quint64, QByteArray>> sent;
        TapHub *hubPointer = nullptr;
        std::vector<std::thread> answers;
        QList<bool> verdicts; // by order of the active taps asked
        TapHub hub(
            [&](quint64 client, const QByteArray &frame) {
                sent.append({client, frame});
                DockWire::FrameReader reader;
                reader.append(frame);
                const QCborMap message = *reader.next();
                const quint64 event = quint64(message.value(QStringLiteral("id")).toInteger());
                // Active taps are clients 1 and 2; they answer from their own thread, as over a socket.
                if (client <= 2 && !verdicts.isEmpty()) {
                    const bool pass = verdicts.takeFirst();
                    const quint64 tap = client == 1 ? 1 : 2;
                    answers.emplace_back([hubPointer, tap, event, pass] { hubPointer->resolve(tap, event, pass); });
                }
            },
            300);
        hubPointer = &hub;
        const quint64 mask = eventMaskBit(CGEventType::LeftMouseDown);
        hub.add(1, CGEventTapLocation::HID, false, false, mask, true);
        hub.add(2, CGEventTapLocation::HID, true, false, mask, true);
        hub.add(3, CGEventTapLocation::Session, true, true, mask, true);
        const CGEvent press = CGEvent::mouseEvent(CGEventType::LeftMouseDown, QPointF(1, 2), CGMouseButton::Left);

        verdicts = {true, true};
        QVERIFY(hub.deliver(press, CGEventTapLocation::HID));
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0].first, quint64(2)); // head-inserted before appended
        QCOMPARE(sent[1].first, quint64(1));
        QCOMPARE(sent[2].first, quint64(3)); // session taps after the HID level

        sent.clear();
        verdicts = {false};
        QVERIFY(!hub.deliver(press, CGEventTapLocation::HID));
        QCOMPARE(sent.size(), 1);

        sent.clear();
        QVERIFY(hub.deliver(press, CGEventTapLocation::Session)); // posted at the session level: HID taps are behind it
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent[0].first, quint64(3));

        // Tap 2 does not answer: it is given up on, told, and disabled; the event goes on.
        sent.clear();
        verdicts.clear();
        QVERIFY(hub.deliver(press, CGEventTapLocation::HID));
        QCOMPARE(sent.size(), 5); // event to 2, its notice, event to 1 (also silent), its notice, event to 3
        DockWire::FrameReader reader;
        reader.append(sent[1].second);
        QCOMPARE(DockWire::decodeEvent(reader.next()->value(QStringLiteral("ev")))->type, CGEventType::TapDisabledByTimeout);
        sent.clear();
        QVERIFY(hub.deliver(press, CGEventTapLocation::HID));
        QCOMPARE(sent.size(), 1);
        for (std::thread &answer : answers)
            answer.join();
    }

    void removingATapThatIsAwaitedLetsTheEventPass()
    {
        TapHub *hubPointer = nullptr;
        std::thread remover;
        TapHub hub([&](quint64, const QByteArray &) { remover = std::thread([&] { hubPointer->remove(1); }); }, 60000);
        hubPointer = &hub;
        hub.add(1, CGEventTapLocation::HID, true, false, eventMaskBit(CGEventType::LeftMouseUp), true);
        QVERIFY(hub.deliver(CGEvent::mouseEvent(CGEventType::LeftMouseUp, {}, CGMouseButton::Left), CGEventTapLocation::HID));
        remover.join();
        QCOMPARE(hub.count(), 0);
    }

    void aDockWithoutASessionBusNeverLaunchesOne()
    {
        const char variable[] = "DBUS_SESSION_BUS_ADDRESS";
        const QByteArray original = qgetenv(variable);
        const bool hadOne = qEnvironmentVariableIsSet(variable);
        QCOMPARE(SessionBusAddress::standardAddress(QStringLiteral("/run/user/1000")), QByteArray("unix:path=/run/user/1000/bus"));
        QCOMPARE(SessionBusAddress::standardAddress(QStringLiteral("/tmp/a b,c=d;%\\é")),
                 QByteArray("unix:path=/tmp/a%20b%2cc%3dd%3b%25%5c%c3%a9/bus"));

        // A bus the environment names is used as it is, and the programs the Dock opens get it too.
        qputenv(variable, "unix:path=/run/some/bus");
        SessionBusAddress::pinForThisProcess();
        QCOMPARE(qgetenv(variable), QByteArray("unix:path=/run/some/bus"));
        QCOMPARE(SessionBusAddress::launchEnvironment().value(QString::fromLatin1(variable)), QStringLiteral("unix:path=/run/some/bus"));

        // Without one, the user's standard socket is named instead of leaving libdbus to start a bus;
        // the programs the Dock opens still see the environment it was given.
        qunsetenv(variable);
        SessionBusAddress::pinForThisProcess();
        QCOMPARE(qgetenv(variable), SessionBusAddress::standardAddress(qEnvironmentVariable("XDG_RUNTIME_DIR")));
        QVERIFY(!SessionBusAddress::launchEnvironment().contains(QString::fromLatin1(variable)));
        QCOMPARE(SessionBusAddress::launchEnvironment().value(QStringLiteral("HOME")), QDir::homePath());

        if (hadOne)
            qputenv(variable, original);
        else
            qunsetenv(variable);
    }

    void theKeeperEndsADockThatIgnoresTheRequestToEnd()
    {
        const QString pidFile = m_home + QStringLiteral("/stubborn.pid");
        const QString dock = writeFile(m_home + QStringLiteral("/stubborn-dock"),
                                       "#!/bin/sh\ntrap '' TERM\necho $$ > '" + pidFile.toUtf8() + "'\nexec sleep 600\n");
        QVERIFY(QFile::setPermissions(dock, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QProcess keeper;
        keeper.setProgram(QStringLiteral(KESTROWAN_DOCK_KEEPER));
        keeper.setArguments({QStringLiteral("--dock"), dock});
        keeper.setProcessChannelMode(QProcess::ForwardedChannels);
        keeper.start();
        QVERIFY(keeper.waitForStarted());
        qint64 pid = 0;
        QTRY_VERIFY_WITH_TIMEOUT((pid = readTestFile(pidFile).trimmed().toLongLong()) > 0, 20000);

        keeper.terminate();
        const bool finished = keeper.waitForFinished(60000);
        if (!finished)
            ::kill(pid_t(pid), SIGKILL);
        QVERIFY(finished);
        QCOMPARE(keeper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(keeper.exitCode(), 0);
        // The keeper waited for its Dock, so nothing of it is left.
        QCOMPARE(::kill(pid_t(pid), 0), -1);
    }

    void theFakeDockBehavesLikeTheStandIn()
    {
        FakeAccessibility accessibility;
        accessibility.setDockTiles({{QStringLiteral("Work"), QStringLiteral("AXFolderDockItem"), QUrl::fromLocalFile(QStringLiteral("/g/Work")), QRectF(0, 0, 50, 50)},
                                    {QStringLiteral("Mail"), QStringLiteral("AXApplicationDockItem"), {}, QRectF(56, 0, 50, 50)}});
        AXUIElement hit;
        QCOMPARE(accessibility.copyElementAtPosition(accessibility.applicationElement(), QPointF(60, 10), &hit), AXError::Success);
        QCOMPARE(hit, accessibility.tileElement(1));
        QCOMPARE(accessibility.copyAttributeValue(hit, QStringLiteral("AXURL"), nullptr), AXError::AttributeUnsupported);
        std::unique_ptr<AXObserver> observer = accessibility.createObserver(*accessibility.dockProcess);
        QVERIFY(observer);
        QCOMPARE(observer->addNotification(accessibility.listElement(), QStringLiteral("AXSelectedChildrenChanged")), AXError::Success);
        QSignalSpy spy(observer.get(), &AXObserver::notificationReceived);
        accessibility.selectTile(0);
        QCOMPARE(spy.count(), 1);
        accessibility.trusted = false;
        QVERIFY(!accessibility.isProcessTrustedWithPrompt());
        QCOMPARE(accessibility.promptCount, 1);
        QCOMPARE(accessibility.copyAttributeValue(hit, QStringLiteral("AXTitle"), nullptr), AXError::APIDisabled);

        FakeEventTaps taps;
        QList<int> order;
        auto make = [&](int name, CGEventTapLocation location, CGEventTapPlacement placement, EventTapVerdict verdict) {
            return taps.createTap(location, placement, CGEventTapOptions::Default, eventMaskBit(CGEventType::LeftMouseDown),
                                  [&order, name, verdict](CGEventType, const CGEvent &) {
                                      order.append(name);
                                      return verdict;
                                  });
        };
        auto session = make(1, CGEventTapLocation::Session, CGEventTapPlacement::HeadInsert, EventTapVerdict::Pass);
        auto hidTail = make(2, CGEventTapLocation::HID, CGEventTapPlacement::TailAppend, EventTapVerdict::Pass);
        auto hidHead = make(3, CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, EventTapVerdict::Pass);
        QVERIFY(taps.deliver(CGEvent::mouseEvent(CGEventType::LeftMouseDown, {}, CGMouseButton::Left)));
        QCOMPARE(order, (QList<int>{3, 2, 1}));
        taps.refuseTaps = true;
        QVERIFY(!make(4, CGEventTapLocation::HID, CGEventTapPlacement::HeadInsert, EventTapVerdict::Drop));
    }
};

KESTROWAN_TEST_MAIN(TestStandinParts)
#include "tst_dockstandinparts.moc"
