// Mirror folders: names, lookup, rebuilding in place, and the move that a refused Dock write stops.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/MirrorFolders.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/icons/ComposedFolderIcons.h"
#include "Platform/FileStamp.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

class TestMirrorFolders : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_groups;

    MirrorFolders folders() const { return MirrorFolders(m_groups, m_dir->path() + QStringLiteral("/kestrowan")); }
    QString groupFolder(const QString &name) const { return m_groups + u'/' + name; }
    QString claim(const QString &name, const AppGroup &group) const
    {
        const QString folder = makeFolder(groupFolder(name));
        writeBytes(folder + QStringLiteral("/.group_id"), ModelJson::uuidText(group.id).toUtf8());
        return folder;
    }
    std::optional<QString> create(const AppGroup &group) const
    {
        return awaitCompletion<std::optional<QString>>([&](std::function<void(std::optional<QString>)> done) {
                   folders().createMirrorFolder(group, nullptr, done);
               }).value_or(QStringLiteral("the completion broke its promise"));
    }

private slots:
    void initTestCase() { FolderIconPainter::install(std::make_unique<ComposedFolderIcons>()); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_groups = makeFolder(m_dir->path() + QStringLiteral("/Groups"));
        writeBytes(m_dir->path() + QStringLiteral("/kestrowan"), "program");
        installSucceedingProcessRunner();
        DockService::clearSyncBlock();
    }

    void folderNamesAreSafeAndUnique()
    {
        const AppGroup mine = makeGroup(QStringLiteral("Work"));
        const MirrorFolders f = folders();
        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral("Work"), mine), QStringLiteral("Work"));
        claim(QStringLiteral("Work"), makeGroup(QStringLiteral("Work")));
        makeFolder(groupFolder(QStringLiteral("Work 2"))); // nobody's: skipped as well
        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral("Work"), mine), QStringLiteral("Work 3"));
        claim(QStringLiteral("Work 3"), mine);
        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral("Work"), mine), QStringLiteral("Work 3"));

        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral(" \ta/b:c \t"), mine), QStringLiteral("a_b_c"));
        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral("Play\n"), mine), QStringLiteral("Play\n"));
        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral("   "), mine), ModelJson::uuidText(mine.id));
        // Never hidden, never the folder above.
        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral(".x"), mine), QStringLiteral("_x"));
        QCOMPARE(f.uniqueMirrorFolderName(QStringLiteral(" ..a.b"), mine), QStringLiteral("__a.b"));
    }

    void entryNamesAreSafeAndUnique()
    {
        const QString folder = makeFolder(m_dir->path() + QStringLiteral("/entries"));
        QCOMPARE(MirrorFolders::shortcutBaseName(QStringLiteral("Release.notes"), QStringLiteral("webloc")), QStringLiteral("Release.webloc"));
        QCOMPARE(MirrorFolders::shortcutBaseName(QStringLiteral(" \n"), QStringLiteral("webloc")), QStringLiteral("Shortcut.webloc"));
        QCOMPARE(MirrorFolders::shortcutBaseName(QStringLiteral(" a/b:c \n"), std::nullopt), QStringLiteral("a_b_c"));
        QCOMPARE(MirrorFolders::shortcutBaseName(QStringLiteral(".."), QStringLiteral("webloc")), QStringLiteral("__.webloc"));

        const AppItem mail = makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), QStringLiteral("/Applications/Mail.app"));
        writeBytes(folder + QStringLiteral("/Mail.app"), "");
        QFile::link(QStringLiteral("/nowhere"), folder + QStringLiteral("/Mail 2.app")); // a dangling link takes its name too
        QCOMPARE(MirrorFolders::uniqueShortcutFileName(mail, folder, std::nullopt), QStringLiteral("Mail 3.app"));
        const AppItem dotted = makeItem(QStringLiteral("file:/x/.profile"), QStringLiteral("profile"), QStringLiteral("/x/.profile"));
        QCOMPARE(MirrorFolders::uniqueShortcutFileName(dotted, folder, std::nullopt), QStringLiteral("_profile"));
        writeBytes(folder + QStringLiteral("/@Kestrowan"), "");
        QCOMPARE(MirrorFolders::uniqueFileName(QStringLiteral("@Kestrowan"), folder), QStringLiteral("@Kestrowan 2"));
    }

    void lookupFollowsTheIdentityFileThenTheUuidName()
    {
        const AppGroup group = makeGroup(QStringLiteral("Named"));
        QVERIFY(!folders().findMirrorFolder(group));
        const QString byUuid = makeFolder(groupFolder(ModelJson::uuidText(group.id)));
        writeBytes(byUuid + QStringLiteral("/.extra"), "x");
        QCOMPARE(folders().findMirrorFolder(group)->toLocalFile(), byUuid + u'/');
        const QString byFile = makeFolder(groupFolder(QStringLiteral("Elsewhere")));
        writeBytes(byFile + QStringLiteral("/.group_id"), "\xff\xfe" + ModelJson::uuidText(group.id).toUtf8()); // not UTF-8
        QCOMPARE(folders().findMirrorFolder(group)->toLocalFile(), byUuid + u'/');

        // Found by its UUID name, the folder moves to the group's name and is claimed.
        QCOMPARE(create(group), std::nullopt);
        QVERIFY(!QFileInfo::exists(byUuid));
        QCOMPARE(readBytes(groupFolder(QStringLiteral("Named/.extra"))), QByteArray("x"));
        QCOMPARE(folders().findMirrorFolder(group)->toLocalFile(), groupFolder(QStringLiteral("Named/")));
        folders().removeMirrorFolder(group);
        QVERIFY(!folders().findMirrorFolder(group));
        QVERIFY(QFileInfo::exists(byFile));
    }

    void lookupsAfterARebuildSeeClaimsThatChangedHands()
    {
        const AppGroup first = makeGroup(QStringLiteral("First"));
        const AppGroup second = makeGroup(QStringLiteral("Second"));
        const AppGroup third = makeGroup(QStringLiteral("Third"));
        const QString shared = claim(QStringLiteral("Shared"), first);
        const MirrorFolders f = folders();
        // Old enough that the lookup keeps what it read.
        QTRY_VERIFY_WITH_TIMEOUT(FileStamp::of(shared + QStringLiteral("/.group_id")).settledAt(FileStamp::nowNanoseconds()), 10000);
        QCOMPARE(f.findMirrorFolder(first)->toLocalFile(), shared + u'/');

        // The same object builds another folder while the claim changes hands behind its back.
        const std::optional<QString> built =
            awaitCompletion<std::optional<QString>>([&](std::function<void(std::optional<QString>)> done) {
                f.createMirrorFolder(third, nullptr, done);
            }).value_or(QStringLiteral("the completion broke its promise"));
        QCOMPARE(built, std::nullopt);
        writeBytes(shared + QStringLiteral("/.group_id"), ModelJson::uuidText(second.id).toUtf8());

        QVERIFY(!f.findMirrorFolder(first));
        QCOMPARE(f.findMirrorFolder(second)->toLocalFile(), shared + u'/');
        QCOMPARE(f.findMirrorFolder(third)->toLocalFile(), groupFolder(QStringLiteral("Third/")));
    }

    void rebuildReplacesOnlyWhatTheProgramMade()
    {
        const QString documents = makeFolder(m_dir->path() + QStringLiteral("/Documents"));
        writeBytes(documents + QStringLiteral("/precious.txt"), "mine");
        const QString copyA = makeFolder(m_dir->path() + QStringLiteral("/A/Mail.app"));
        const QString copyB = makeFolder(m_dir->path() + QStringLiteral("/B/Mail.app"));
        const AppGroup group = makeGroup(
            QStringLiteral("Work"),
            {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), copyA),
             makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), copyB),
             makeItem(QStringLiteral("file:/gone.txt"), QStringLiteral("Gone"), m_dir->path() + QStringLiteral("/gone.txt")),
             makeItem(QStringLiteral("url:x"), QStringLiteral("Bad"), QStringLiteral("no scheme here")),
             makeItem(QStringLiteral("url:https://example.com/notes"), QStringLiteral("Release.notes"), QStringLiteral("https://example.com/notes")),
             makeItem(QStringLiteral("file:docs"), QStringLiteral("Docs"), documents)});
        const QString folder = claim(QStringLiteral("Work"), group);
        writeBytes(folder + QStringLiteral("/.keep"), "kept");
        // What the user keeps in the folder stays, under its own name.
        writeBytes(folder + QStringLiteral("/stray.txt"), "kept too");
        makeFolder(folder + QStringLiteral("/stray folder/inner"));
        // A link of the user's to their folder: theirs, though the program makes links too.
        QFile::link(documents, folder + QStringLiteral("/Old Docs"));

        for (int sync = 0; sync < 2; ++sync) {
            QCOMPARE(create(group), std::nullopt);
            QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                     (QStringList{QStringLiteral(".group_id"), QStringLiteral(".hidden"), QStringLiteral(".keep"), QStringLiteral("@Kestrowan"),
                                  QStringLiteral("Documents"), QStringLiteral("Icon\r"), QStringLiteral("Mail 2.app"), QStringLiteral("Mail.app"),
                                  QStringLiteral("Old Docs"), QStringLiteral("Release.webloc"), QStringLiteral("stray folder"),
                                  QStringLiteral("stray.txt")}));
        }
        QCOMPARE(readBytes(documents + QStringLiteral("/precious.txt")), QByteArray("mine"));
        QCOMPARE(readBytes(folder + QStringLiteral("/stray.txt")), QByteArray("kept too"));
        QVERIFY(QFileInfo(folder + QStringLiteral("/stray folder/inner")).isDir());
        QCOMPARE(QFileInfo(folder + QStringLiteral("/Mail 2.app")).symLinkTarget(), copyB);
        QCOMPARE(readBytes(folder + QStringLiteral("/Release.webloc")),
                 QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                            "<plist version=\"1.0\">\n<dict>\n\t<key>URL</key>\n\t<string>https://example.com/notes</string>\n</dict>\n</plist>\n"));
    }

    void itemWithAnEmptyPathGetsNoEntry()
    {
        // A damaged groups file: an empty path once gave an alias to the working folder.
        const QString working = makeFolder(m_dir->path() + QStringLiteral("/working"));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(working);
        const AppGroup group = makeGroup(QStringLiteral("Damaged"), {makeItem(QStringLiteral("com.example.x"), QStringLiteral("Empty"), QString())});
        const std::optional<QString> error = create(group);
        QDir::setCurrent(previous);
        QCOMPARE(error, std::nullopt);
        QCOMPARE(QDir(groupFolder(QStringLiteral("Damaged"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{QStringLiteral(".group_id"), QStringLiteral(".hidden"), QStringLiteral("@Kestrowan"), QStringLiteral("Icon\r")}));
    }

    void folderReachedThroughALinkIsNeverCleared()
    {
        const AppGroup group = makeGroup(QStringLiteral("Linked"));
        const QString documents = claim(QStringLiteral("../Documents"), group);
        writeBytes(documents + QStringLiteral("/precious.txt"), "mine");
        QFile::link(documents, groupFolder(QStringLiteral("Linked")));
        QVERIFY(create(group).has_value());
        QCOMPARE(readBytes(documents + QStringLiteral("/precious.txt")), QByteArray("mine"));
    }

    // While the Dock cannot be written the old tile stays, and moving its folder would strand it.
    void refusedTileRemovalStopsTheMove()
    {
        AppGroup group = makeGroup(QStringLiteral("Work"));
        QCOMPARE(create(group), std::nullopt);
        const QUrl old = QUrl::fromLocalFile(groupFolder(QStringLiteral("Work/")));
        QVERIFY(DockService::writePersistentOthers({DockService::folderTile(old, group.name, group.displayStyle)}));
        // The system refuses the program's changes of the Dock's list.
        std::optional<RefusedDockWrites> refused(std::in_place);

        group.name = QStringLiteral("Office");
        QVERIFY(create(group).has_value());
        QVERIFY(QFileInfo::exists(groupFolder(QStringLiteral("Work/.group_id"))));
        QVERIFY(!QFileInfo::exists(groupFolder(QStringLiteral("Office"))));
        QVERIFY(DockService::isFolderInDock(old));
    }
};

KESTROWAN_TEST_MAIN(TestMirrorFolders)
#include "tst_mirrorfolders.moc"
