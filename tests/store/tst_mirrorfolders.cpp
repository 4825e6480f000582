// Mirror folders: names, lookup, rebuilding in place, and the move that a refused Dock write stops.
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/MirrorFolders.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/icons/ComposedFolderIcons.h"
#include "Platform/FileStamp.h"
#include "Platform/safewrite/OwnRecord.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/RefusedDockWrites.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <unistd.h>

namespace {

// Draws as the program does, and runs `act` once as it draws: on the main thread, after the
// folder's name was chosen and before the folder is made.
class PainterThatActsOnce final : public FolderIconPainter {
public:
    explicit PainterThatActsOnce(std::function<void()> act)
        : m_act(std::move(act))
    {
    }
    std::unique_ptr<Batch> newBatch() const override { return m_painter.newBatch(); }
    void askForPictures(const AppGroup &group, SkinManager *skins) override { m_painter.askForPictures(group, skins); }
    void whenPicturesDrawn(const AppGroup &group, SkinManager *skins, std::function<void()> ready) override
    {
        m_painter.whenPicturesDrawn(group, skins, std::move(ready));
    }
    std::function<SkinManager *()> keep(SkinManager *skins) const override { return m_painter.keep(skins); }
    QImage paint(const AppGroup &group, SkinManager *skins, Batch *batch) const override
    {
        if (m_act)
            std::exchange(m_act, nullptr)();
        return m_painter.paint(group, skins, batch);
    }

private:
    mutable std::function<void()> m_act;
    ComposedFolderIcons m_painter;
};

} // namespace

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

    QString records() const { return m_dir->path() + QStringLiteral("/Made Entries"); }
    // The group's folder as an earlier version left it: its record lost.
    void loseRecords() const { QVERIFY(QDir(records()).removeRecursively()); }
    // The icon file the program writes for the group.
    static QByteArray iconBytesOf(const AppGroup &group)
    {
        return MirrorFolders::iconFileBytes(FolderIconPainter::installed()->paint(group, nullptr, nullptr));
    }
    // Runs `act` once, on the writer's thread, at the first temporary file named `prefix…` that
    // is made in `folder` (the files are then all written through named temporaries).
    void atTemporary(const QString &folder, const QString &prefix, std::function<void()> act)
    {
        SafeWrite::refuseUnnamedFiles(true);
        auto done = std::make_shared<std::atomic_bool>(false);
        SafeWrite::watchNamedTemporaries([folder, prefix, act = std::move(act), done](const QString &path) {
            const QFileInfo info(path);
            if (QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(folder) && info.fileName().startsWith(prefix) && !done->exchange(true))
                act();
        });
        m_reached = done;
    }
    std::shared_ptr<std::atomic_bool> m_reached;

private slots:
    void initTestCase() { FolderIconPainter::install(std::make_unique<ComposedFolderIcons>()); }

    void cleanup()
    {
        SafeWrite::watchNamedTemporaries(nullptr);
        SafeWrite::refuseUnnamedFiles(false);
        m_reached.reset();
    }

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

    // Something appears under a name the folder is about to be written with, after the folder was
    // looked at and before that name's turn: the user's stays theirs, whole, and the next sync
    // leaves it too (it was never taken for the program's); the item takes the next free name. A
    // link exactly as the program makes it is another program's work: done, and no failure.
    void aNameTakenWhileTheFolderIsWrittenIsNeverWrittenOver_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("moment");
        QTest::addColumn<bool>("exactLink");
        QTest::addColumn<QString>("itemAfter");
        QTest::addColumn<bool>("fails");
        // The moment: the temporary file of that name's own write, or of the identity written first.
        QTest::addRow("an item's link") << "Mail.app" << "..group_id." << false << "Mail 2.app" << false;
        QTest::addRow("a web link file") << "Release.webloc" << ".Release.webloc." << false << "Release 2.webloc" << false;
        QTest::addRow("the manifest") << ".hidden" << "..hidden." << false << "" << false;
        QTest::addRow("the icon") << "Icon\r" << ".Icon\r." << false << "" << false;
        // Not the group's folder then: it is built under the next name at once.
        QTest::addRow("the identity") << ".group_id" << "..group_id." << false << "" << false;
        QTest::addRow("the same link by another program") << "Mail.app" << "..group_id." << true << "" << false;
    }

    void aNameTakenWhileTheFolderIsWrittenIsNeverWrittenOver()
    {
        QFETCH(QString, name);
        QFETCH(QString, moment);
        QFETCH(bool, exactLink);
        QFETCH(QString, itemAfter);
        QFETCH(bool, fails);
        const QString mail = makeFolder(m_dir->path() + QStringLiteral("/Apps/Mail.app"));
        const AppGroup group = makeGroup(
            QStringLiteral("Work"), {makeItem(QStringLiteral("com.apple.mail"), QStringLiteral("Mail"), mail),
                                     makeItem(QStringLiteral("url:https://example.com/notes"), QStringLiteral("Release"),
                                              QStringLiteral("https://example.com/notes"))});
        const QString folder = groupFolder(QStringLiteral("Work"));
        const QString taken = folder + u'/' + name;
        const QString groupIDName = QStringLiteral(".group_id");
        atTemporary(folder, moment, [&] {
            if (exactLink)
                QFile::link(mail, taken);
            else
                writeBytes(taken, "the user's own");
        });
        const std::optional<QString> error = create(group);
        QVERIFY(m_reached && m_reached->load());
        QCOMPARE(error.has_value(), fails);
        // Twice: a name the program did not make is not taken for its own by the next sync either
        // (which builds the group's folder elsewhere when the identity is not its own).
        for (int sync = 0; sync < 2; ++sync) {
            if (sync == 1 && !fails)
                QCOMPARE(create(group), std::nullopt);
            if (sync == 1 && fails)
                create(group);
            if (exactLink) {
                QCOMPARE(QFileInfo(taken).symLinkTarget(), mail);
                // Another program's entry is recorded by that program, not by this one.
                if (sync == 0)
                    QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Mail 2.app")));
            } else {
                QCOMPARE(readBytes(taken), QByteArray("the user's own"));
            }
            if (!itemAfter.isEmpty())
                QVERIFY2(QFileInfo(folder + u'/' + itemAfter).exists(), qPrintable(itemAfter));
            const QString built = name == groupIDName ? groupFolder(QStringLiteral("Work 2")) : folder;
            if (!fails)
                QCOMPARE(readBytes(built + QStringLiteral("/.group_id")), ModelJson::uuidText(group.id).toUtf8());
        }
    }

    // A sync that fails half way (an item whose entry cannot be made) leaves no name it did not
    // make standing in the record: an icon and a document the user then puts in the folder under
    // names it had planned are theirs at the next sync.
    void namesASyncThatFailedNeverMadeAreNotTheProgramsLater()
    {
        AppGroup group = makeGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("url:https://example.com/a"), QString(300, u'x'),
                                                                     QStringLiteral("https://example.com/a")),
                                                            makeItem(QStringLiteral("url:https://example.com/b"), QStringLiteral("Later"),
                                                                     QStringLiteral("https://example.com/b"))});
        QVERIFY(create(group).has_value());
        const QString folder = groupFolder(QStringLiteral("Work"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/Icon\r")));
        writeBytes(folder + QStringLiteral("/Icon\r"), "my own folder picture");
        writeBytes(folder + QStringLiteral("/Later.webloc"), "my own link");
        group.apps.removeFirst();
        QCOMPARE(create(group), std::nullopt);
        QCOMPARE(readBytes(folder + QStringLiteral("/Icon\r")), QByteArray("my own folder picture"));
        QCOMPARE(readBytes(folder + QStringLiteral("/Later.webloc")), QByteArray("my own link"));
        QVERIFY(readBytes(folder + QStringLiteral("/Later 2.webloc")).contains("https://example.com/b"));
    }

    // The user edits the program's web link file in place just as a sync is about to replace it:
    // the edit makes it theirs, and it stays.
    void anEditInPlaceJustBeforeTheProgramsFileGoesStays()
    {
        AppGroup group = makeGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("url:https://example.com/a"), QStringLiteral("Release"),
                                                                     QStringLiteral("https://example.com/a"))});
        QCOMPARE(create(group), std::nullopt);
        const QString file = groupFolder(QStringLiteral("Work/Release.webloc"));
        const QByteArray before = readBytes(file);
        group.apps.first().path = QStringLiteral("https://example.com/b");
        // Between the judgement of what goes and its setting aside, the record is written.
        atTemporary(records(), QString(), [&] {
            QFile edited(file);
            if (edited.open(QIODevice::ReadWrite | QIODevice::Append))
                edited.write("<!-- my note -->\n");
        });
        QCOMPARE(create(group), std::nullopt);
        QVERIFY(m_reached && m_reached->load());
        QCOMPARE(readBytes(file), before + "<!-- my note -->\n");
        QVERIFY(readBytes(groupFolder(QStringLiteral("Work/Release 2.webloc"))).contains("https://example.com/b"));
    }

    // Another group's folder takes the name chosen for a new group's folder between the choice
    // and the making (the program on another display making a group of the same name): the new
    // one takes the next name, the other stays as it is, and no failure is told.
    void aNameAnotherGroupsFolderTookMeanwhileIsChosenAgain()
    {
        for (int round = 0; round < 4; ++round) {
            const QString name = QStringLiteral("Work %1").arg(round * 10 + 10);
            const AppGroup other = makeGroup(name);
            const AppGroup group = makeGroup(name, {makeItem(QStringLiteral("url:https://example.com/a"), QStringLiteral("Release"),
                                                             QStringLiteral("https://example.com/a"))});
            const QString taken = groupFolder(name);
            const QByteArray otherID = ModelJson::uuidText(other.id).toUtf8();
            // Made after the name was chosen, before the folder.
            bool reached = false;
            FolderIconPainter::install(std::make_unique<PainterThatActsOnce>([taken, otherID, &reached] {
                QFile identity(taken + QStringLiteral("/.group_id"));
                reached = QDir().mkpath(taken) && identity.open(QIODevice::WriteOnly) && identity.write(otherID) == otherID.size();
            }));
            const std::optional<QString> error = create(group);
            FolderIconPainter::install(std::make_unique<ComposedFolderIcons>());
            QCOMPARE(error, std::nullopt);
            QVERIFY(reached);
            QCOMPARE(QDir(taken).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList{".group_id"});
            QCOMPARE(readBytes(taken + QStringLiteral("/.group_id")), otherID);
            QCOMPARE(readBytes(groupFolder(name + QStringLiteral(" 2/.group_id"))), ModelJson::uuidText(group.id).toUtf8());
            QVERIFY(readBytes(groupFolder(name + QStringLiteral(" 2/Release.webloc"))).contains("https://example.com/a"));
            cleanup();
        }
    }

    // The program on another display has made a group's entries a moment ago and not yet said
    // so in the record: while it runs they are its work, neither written around ("Release
    // 2.webloc") nor refused as the user's; once it ended unconfirmed, they are the user's.
    void anotherProgramsEntriesBeingMadeAreItsWork_data()
    {
        QTest::addColumn<QString>("standing");
        QTest::addColumn<bool>("running");
        QTest::addRow("what this one would write, it running") << "same" << true;
        QTest::addRow("another link of its, it running") << "other" << true;
        QTest::addRow("what this one would write, it ended") << "same" << false;
    }
    void anotherProgramsEntriesBeingMadeAreItsWork()
    {
        QFETCH(QString, standing);
        QFETCH(bool, running);
        AppGroup group = makeGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("url:https://example.com/a"), QStringLiteral("Release"),
                                                                     QStringLiteral("https://example.com/a"))});
        QCOMPARE(create(group), std::nullopt);
        const QString folder = groupFolder(QStringLiteral("Work"));
        const QList<QByteArray> names{".group_id", ".hidden", "Icon\r", "Release.webloc"};
        for (int round = 0; round < 4; ++round) {
            // Its entries, as announced by it and not yet confirmed.
            OwnRecord(records(), folder).forget(names);
            if (standing == QStringLiteral("other"))
                writeBytes(folder + QStringLiteral("/Release.webloc"), "its link, written a moment ago");
            QProcess peer;
            peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QStringList arguments{records(), folder, QStringLiteral("hold"), QStringLiteral("pending")};
            for (const QByteArray &name : names)
                arguments.append(QFile::decodeName(name));
            peer.start(QStringLiteral(OWNRECORD_PEER_PATH), arguments);
            QVERIFY(peer.waitForStarted(30000));
            while (!peer.canReadLine() && peer.state() == QProcess::Running && peer.waitForReadyRead(30000)) {
            }
            QCOMPARE(peer.readLine().trimmed(), QByteArray("ready"));
            if (!running) {
                peer.kill();
                QVERIFY(peer.waitForFinished(30000));
            }
            const QByteArray link = readBytes(folder + QStringLiteral("/Release.webloc"));
            QCOMPARE(create(group), std::nullopt);
            QCOMPARE(readBytes(folder + QStringLiteral("/Release.webloc")), link);
            QCOMPARE(QFileInfo::exists(folder + QStringLiteral("/Release 2.webloc")), !running);
            if (running) {
                peer.closeWriteChannel();
                QVERIFY(peer.waitForFinished(30000));
            }
            // The next round starts from the program's own entries again.
            QVERIFY(QDir(folder).removeRecursively());
            OwnRecord::finishCutShort(records());
            QCOMPARE(create(group), std::nullopt);
        }
    }

    // A folder whose record is lost: an icon file is taken for the program's only when it is
    // exactly the one the program writes for the group; the user's own folder icon stays.
    void anIconOfTheUsersInAFolderWithoutItsRecordStays_data()
    {
        QTest::addColumn<bool>("users");
        QTest::addRow("the user's icon") << true;
        QTest::addRow("the program's icon") << false;
    }

    void anIconOfTheUsersInAFolderWithoutItsRecordStays()
    {
        QFETCH(bool, users);
        const QString documents = makeFolder(m_dir->path() + QStringLiteral("/Documents"));
        const AppGroup group = makeGroup(QStringLiteral("Work"), {makeItem(QStringLiteral("file:docs"), QStringLiteral("Docs"), documents)});
        QCOMPARE(create(group), std::nullopt);
        const QString icon = groupFolder(QStringLiteral("Work/Icon\r"));
        QCOMPARE(readBytes(icon), iconBytesOf(group));
        if (users) {
            QVERIFY(QFile::remove(icon));
            writeBytes(icon, "my own folder picture");
        }
        loseRecords();
        QCOMPARE(create(group), std::nullopt);
        QCOMPARE(readBytes(icon), users ? QByteArray("my own folder picture") : iconBytesOf(group));
        const MirrorFolders::RemovedFolder removed = folders().removeMirrorFolder(group);
        QCOMPARE(removed.outcome, users ? MirrorFolders::FolderRemoval::KeptUserEntries : MirrorFolders::FolderRemoval::Removed);
        if (users)
            QCOMPARE(QDir(groupFolder(QStringLiteral("Work"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                     QStringList{QStringLiteral("Icon\r")});
    }

    // Two programs of the user's sync a renamed group at the same moment, round after round: one
    // moves the folder, and the other finds it moved, which is the work done and no failure.
    void twoWritersMovingARenamedGroupBothSucceed()
    {
        AppGroup group = makeGroup(QStringLiteral("Round 0"), {makeItem(QStringLiteral("url:https://example.com/"), QStringLiteral("Site"),
                                                                        QStringLiteral("https://example.com/"))});
        QCOMPARE(create(group), std::nullopt);
        QVERIFY(DockService::writePersistentOthers(
            {DockService::folderTile(QUrl::fromLocalFile(groupFolder(group.name)), group.name, group.displayStyle)}));
        const MirrorFolders first = folders();
        const MirrorFolders second = folders();
        for (int round = 1; round <= 30; ++round) {
            const QString old = groupFolder(group.name);
            group.name = QStringLiteral("Round %1").arg(round);
            std::optional<std::optional<QString>> errors[2];
            first.createMirrorFolder(group, nullptr, [&](std::optional<QString> error) { errors[0] = error; });
            second.createMirrorFolder(group, nullptr, [&](std::optional<QString> error) { errors[1] = error; });
            QTRY_VERIFY_WITH_TIMEOUT(errors[0] && errors[1], 20000);
            QVERIFY2(!*errors[0], qPrintable(QStringLiteral("round %1: %2").arg(round).arg(errors[0]->value_or(QString()))));
            QVERIFY2(!*errors[1], qPrintable(QStringLiteral("round %1: %2").arg(round).arg(errors[1]->value_or(QString()))));
            QVERIFY(!QFileInfo::exists(old));
            QCOMPARE(QDir(m_groups).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{group.name});
            QCOMPARE(readBytes(groupFolder(group.name) + QStringLiteral("/.group_id")), ModelJson::uuidText(group.id).toUtf8());
            QVERIFY(QFileInfo::exists(groupFolder(group.name) + QStringLiteral("/Site.webloc")));
        }
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
