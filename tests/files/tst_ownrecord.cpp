// The record of what the program made in a folder: which of its names license a removal in each
// state an entry can be in, what a start finishes of a program that was killed and leaves alone of
// one still running, what stands in the record's own place, and two programs changing one record.
#include "Platform/safewrite/OwnRecord.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr int deadline = 60000;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// The record's file of `folder` in `records`.
QString recordPathOf(const QString &records, const QString &folder)
{
    struct stat status {};
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0)
        return {};
    return records + QStringLiteral("/%1-%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino));
}

} // namespace

class TestOwnRecord : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString records() const { return m_dir->filePath(QStringLiteral("Made Entries")); }
    QString folder() const { return m_dir->filePath(QStringLiteral("Work")); }
    QString at(const QString &name) const { return folder() + u'/' + name; }

    // Another program recording `name` as `kind` and still running; ended by closing its input
    // (it stays alive until then) or killed.
    std::unique_ptr<QProcess> startPeer(const QStringList &arguments)
    {
        auto peer = std::make_unique<QProcess>();
        peer->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        peer->start(QStringLiteral(OWNRECORD_PEER_PATH), QStringList{records(), folder()} + arguments);
        return peer;
    }
    bool peerReady(QProcess &peer)
    {
        if (!peer.waitForStarted(deadline))
            return false;
        while (!peer.canReadLine() && peer.state() == QProcess::Running && peer.waitForReadyRead(deadline)) {
        }
        return peer.readLine().trimmed() == "ready";
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(folder()));
    }

    // Changes held for one write go over the record as another writer left it meanwhile, name by
    // name: nothing held reaches the disk before it is written, nothing of the other writer's is
    // lost, and where both changed one name the other's change stands (a withdrawal held here never
    // takes away what the other made and recorded). A new folder's record is made at the first write.
    void heldChangesGoOverOnlyWhatNoOtherWriterChanged()
    {
        for (int round = 0; round < 8; ++round) {
            const QByteArray n = QByteArray::number(round);
            const QByteArray a = "a" + n, b = "b" + n, c = "c" + n, e = "e" + n, fresh = "fresh" + n;
            {
                OwnRecord first(records(), folder());
                QVERIFY(first.announce({a, b}));
                writeFile(at(QString::fromLatin1(a)), "a");
                writeFile(at(QString::fromLatin1(b)), "b");
                first.noteMade({a, b});
            }
            OwnRecord held(records(), folder());
            held.holdWrites();
            QVERIFY(held.announce({c, e}));
            QVERIFY(held.writeAnnounced());
            writeFile(at(QString::fromLatin1(c)), "c");
            held.noteMade({c});
            held.withdraw({e});
            QVERIFY(!OwnRecord(records(), folder()).isOurs(c));
            {
                OwnRecord other(records(), folder());
                other.forget({b});
                writeFile(at(QString::fromLatin1(e)), "e");
                other.noteMade({e});
            }
            QVERIFY(held.writeHeld());
            const OwnRecord after(records(), folder());
            QVERIFY(after.isOurs(a));
            QVERIFY(!after.names(b));
            QVERIFY(after.isOurs(c));
            QVERIFY2(after.isOurs(e), "the other writer's entry was taken out");

            // A folder without a record: nothing reaches the disk until the held write.
            const QString newFolder = m_dir->filePath(QStringLiteral("New %1").arg(round));
            QVERIFY(QDir().mkpath(newFolder));
            {
                OwnRecord made(records(), newFolder);
                made.holdWrites();
                made.startAfresh();
                QVERIFY(made.announce({fresh}));
                QVERIFY(made.writeAnnounced());
                writeFile(newFolder + u'/' + QString::fromLatin1(fresh), "fresh");
                made.noteMade({fresh});
                QVERIFY(!QFileInfo::exists(recordPathOf(records(), newFolder)));
            }
            QVERIFY(OwnRecord(records(), newFolder).isOurs(fresh));
        }
    }

    // Each state an entry can be in, and whether its name licenses a removal: only what stands as
    // the program made it does. Every row is met many times in a row, each with a record opened anew
    // and with the one kept open.
    void onlyWhatStandsAsMadeIsTheProgramsToRemove_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("ours");
        QTest::newRow("made") << "made" << true;
        QTest::newRow("made, touched again by the program") << "remade" << true;
        QTest::newRow("announced, the user's file put there") << "announced" << false;
        QTest::newRow("withdrawn, the user's file put there") << "withdrawn" << false;
        QTest::newRow("made, saved over by the user") << "savedOver" << false;
        QTest::newRow("made, edited in place") << "edited" << false;
        QTest::newRow("made, a link of the user's in its place") << "linked" << false;
        QTest::newRow("made, gone, the user's file put there") << "goneThenUsers" << false;
        QTest::newRow("never recorded") << "unknown" << false;
        QTest::newRow("made, forgotten") << "forgotten" << false;
    }
    void onlyWhatStandsAsMadeIsTheProgramsToRemove()
    {
        QFETCH(QString, state);
        QFETCH(bool, ours);
        for (int round = 0; round < 20; ++round) {
            const QByteArray name = "Entry " + QByteArray::number(round) + ".webloc";
            const QString path = at(QString::fromUtf8(name));
            OwnRecord kept(records(), folder());
            QVERIFY(kept.isOpen());
            if (state != QStringLiteral("unknown"))
                QVERIFY(kept.announce({name}));
            if (state != QStringLiteral("announced") && state != QStringLiteral("withdrawn") && state != QStringLiteral("unknown")) {
                writeFile(path, "the program's");
                kept.noteMade({name});
                QVERIFY(kept.isOurs(name));
            }
            if (state == QStringLiteral("remade")) {
                // Announced again over its own entry, then replaced by the program.
                QVERIFY(kept.announce({name}));
                QVERIFY(kept.isOurs(name));
                QVERIFY(QFile::remove(path));
                writeFile(path, "the program's, again");
                kept.noteMade({name});
            } else if (state == QStringLiteral("withdrawn")) {
                kept.withdraw({name});
                QVERIFY(!kept.names(name));
            } else if (state == QStringLiteral("savedOver")) {
                const QString beside = path + QStringLiteral(".saving");
                writeFile(beside, "the user's");
                QVERIFY(::rename(QFile::encodeName(beside).constData(), QFile::encodeName(path).constData()) == 0);
            } else if (state == QStringLiteral("edited")) {
                // The same size and inode; only its time tells.
                QFile file(path);
                QVERIFY(file.open(QIODevice::ReadWrite));
                QVERIFY(file.write("THE program's") > 0);
                file.close();
                const struct timeval later[2] = {{2000000000, 0}, {2000000000, 0}};
                QVERIFY(::utimes(QFile::encodeName(path).constData(), later) == 0);
            } else if (state == QStringLiteral("linked")) {
                QVERIFY(QFile::remove(path));
                QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("elsewhere")), path));
            } else if (state == QStringLiteral("forgotten")) {
                kept.forget({name});
            }
            if (state == QStringLiteral("announced") || state == QStringLiteral("withdrawn") || state == QStringLiteral("unknown")
                || state == QStringLiteral("goneThenUsers")) {
                QFile::remove(path);
                writeFile(path, "the user's");
            }
            const QByteArray standing = QFileInfo(path).isSymLink() ? QByteArray("<link>") : readFile(path);
            OwnRecord fresh(records(), folder());
            QCOMPARE(fresh.isOurs(name), ours);
            QCOMPARE(kept.isOurs(name), ours);
            const OwnRecord::Outcome outcome = fresh.remove({name}).value(name);
            QCOMPARE(outcome, ours ? OwnRecord::Outcome::Removed : OwnRecord::Outcome::NotOurs);
            if (ours) {
                QVERIFY(!QFileInfo::exists(path));
                QVERIFY(!OwnRecord(records(), folder()).names(name));
            } else {
                QCOMPARE(QFileInfo(path).isSymLink() ? QByteArray("<link>") : readFile(path), standing);
            }
            // Nothing is left set aside.
            QCOMPARE(QDir(folder()).entryList({QStringLiteral(".removing-*")}, QDir::AllEntries | QDir::Hidden | QDir::System).size(), 0);
        }
    }

    // A folder of the program's goes once empty; one the user keeps something in stays with it.
    void aFolderGoesOnlyEmpty()
    {
        OwnRecord record(records(), folder());
        QVERIFY(record.announce({"Copy", "Copy/made.txt"}));
        QVERIFY(QDir(folder()).mkdir(QStringLiteral("Copy")));
        writeFile(at(QStringLiteral("Copy/made.txt")), "made");
        record.noteMade({"Copy", "Copy/made.txt"});
        writeFile(at(QStringLiteral("Copy/mine.txt")), "the user's");
        const auto outcomes = record.remove({"Copy", "Copy/made.txt"});
        QCOMPARE(outcomes.value("Copy/made.txt"), OwnRecord::Outcome::Removed);
        QCOMPARE(outcomes.value("Copy"), OwnRecord::Outcome::NotOurs);
        QCOMPARE(readFile(at(QStringLiteral("Copy/mine.txt"))), QByteArray("the user's"));
        QVERIFY(QFile::remove(at(QStringLiteral("Copy/mine.txt"))));
        QCOMPARE(record.remove({"Copy"}).value("Copy"), OwnRecord::Outcome::Removed);
        QVERIFY(!QFileInfo::exists(at(QStringLiteral("Copy"))));
    }

    // What a program killed as it worked leaves is finished at the next start: its temporaries go,
    // its names never confirmed license nothing from then on (the user's file put under one stays,
    // and later removals leave it). What a program still running is in the middle of (a copy on
    // its way in, a temporary being written, names about to be made) stays as it is.
    void aStartFinishesOnlyWhatAKilledProgramLeft_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("killed");
        for (const char *kind : {"pending", "unmade", "temporary", "folder"}) {
            QTest::addRow("%s, killed", kind) << QString::fromLatin1(kind) << true;
            QTest::addRow("%s, still running", kind) << QString::fromLatin1(kind) << false;
        }
    }
    void aStartFinishesOnlyWhatAKilledProgramLeft()
    {
        QFETCH(QString, kind);
        QFETCH(bool, killed);
        for (int round = 0; round < 3; ++round) {
            // Unmade: announced, and nothing was ever put under the name.
            const bool announced = kind == QStringLiteral("pending") || kind == QStringLiteral("unmade");
            const QString name = (announced ? QStringLiteral("Planned %1.webloc") : QStringLiteral(".incoming-%1")).arg(round);
            std::unique_ptr<QProcess> peer = startPeer({QStringLiteral("hold"), announced ? QStringLiteral("pending") : kind, name});
            QVERIFY(peerReady(*peer));
            if (killed) {
                peer->kill();
                QVERIFY(peer->waitForFinished(deadline));
            }
            if (kind == QStringLiteral("pending"))
                writeFile(at(name), "the user's");
            const QByteArray standing = kind == QStringLiteral("folder") ? readFile(at(name) + QStringLiteral("/copied.txt")) : readFile(at(name));
            QCOMPARE(OwnRecord::finishCutShort(records()), QStringList());
            OwnRecord record(records(), folder());
            const QByteArray entry = QFile::encodeName(name);
            QVERIFY(!record.isOurs(entry) || kind != QStringLiteral("pending"));
            // What stands under a name never confirmed is the program's or the user's: a maybe.
            const auto finished = [&](const OwnRecord &after) {
                if (kind == QStringLiteral("pending"))
                    return after.maybeNames() == QList<QByteArray>{entry} && !after.isOurs(entry);
                return !after.names(entry);
            };
            if (killed) {
                QVERIFY2(finished(record), qPrintable(name));
                if (kind == QStringLiteral("pending"))
                    QCOMPARE(readFile(at(name)), QByteArray("the user's"));
                else
                    QVERIFY2(!QFileInfo::exists(at(name)), qPrintable(name));
            } else {
                QVERIFY(record.names(entry));
                QVERIFY(record.heldByOtherProgram(entry));
                QCOMPARE(kind == QStringLiteral("folder") ? readFile(at(name) + QStringLiteral("/copied.txt")) : readFile(at(name)), standing);
                peer->closeWriteChannel();
                QVERIFY(peer->waitForFinished(deadline));
                QCOMPARE(peer->exitCode(), 0);
                // Ended since: the next start finishes it.
                OwnRecord::finishCutShort(records());
                QVERIFY(finished(OwnRecord(records(), folder())));
            }
            // Whatever stands under a name never confirmed stays through a removal.
            if (kind == QStringLiteral("pending")) {
                QCOMPARE(OwnRecord(records(), folder()).remove({entry}).value(entry), OwnRecord::Outcome::NotOurs);
                QCOMPARE(readFile(at(name)), QByteArray("the user's"));
                // The user's from now on.
                OwnRecord(records(), folder()).forget({entry});
            }
        }
        // The marks of the programs that ended go with their work.
        OwnRecord::finishCutShort(records());
        const QStringList marks = QDir(records()).entryList({QStringLiteral(".running-*")}, QDir::Files | QDir::Hidden);
        QVERIFY2(marks.size() <= 1, qPrintable(marks.join(u',')));
    }

    // A folder a killed run announced: its own once the run kept a record of it there (the run made
    // it, then began filling it); one with no record of its own (the user's, made after the kill)
    // is only a maybe; and an announced name with nothing under it is dropped.
    void aFolderAKilledRunAnnouncedIsItsOnlyWithARecordOfItsOwn_data()
    {
        QTest::addColumn<QString>("standing");
        QTest::newRow("a folder with its record") << "recorded";
        QTest::newRow("a folder without a record") << "plain";
        QTest::newRow("nothing") << "nothing";
    }
    void aFolderAKilledRunAnnouncedIsItsOnlyWithARecordOfItsOwn()
    {
        QFETCH(QString, standing);
        for (int round = 0; round < 3; ++round) {
            const QString name = QStringLiteral("Group %1").arg(round);
            std::unique_ptr<QProcess> peer = startPeer({QStringLiteral("hold"), QStringLiteral("pending"), name});
            QVERIFY(peerReady(*peer));
            if (standing != QStringLiteral("nothing"))
                QVERIFY(QDir(folder()).mkdir(name));
            if (standing == QStringLiteral("recorded"))
                QVERIFY(OwnRecord(records(), at(name)).announce({".group_id"}));
            peer->kill();
            QVERIFY(peer->waitForFinished(deadline));
            OwnRecord::finishCutShort(records());
            const OwnRecord record(records(), folder());
            const QByteArray entry = QFile::encodeName(name);
            QCOMPARE(record.isOurs(entry), standing == QStringLiteral("recorded"));
            QCOMPARE(record.maybeNames().contains(entry), standing == QStringLiteral("plain"));
            QCOMPARE(record.names(entry), standing != QStringLiteral("nothing"));
        }
    }

    // Whatever stands in the record's own place (a link to a document of the user's, a fifo, a link
    // to an endless device, a folder, bytes that are no record) is read as no record, without
    // waiting, with a line in the log; the next change replaces that entry of the records folder and
    // nothing it points at. A start passes it by the same way.
    void aRecordsPlaceHoldsWhateverStandsThere_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char *kind : {"link to a document", "fifo", "link to a device", "link to a fifo", "folder", "garbage"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void aRecordsPlaceHoldsWhateverStandsThere()
    {
        QFETCH(QString, kind);
        const QString document = m_dir->filePath(QStringLiteral("Letter.txt"));
        writeFile(document, "the user's letter");
        const QString fifo = m_dir->filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        for (int round = 0; round < 5; ++round) {
            {
                OwnRecord record(records(), folder());
                QVERIFY(record.announce({"made.txt"}));
            }
            const QString path = recordPathOf(records(), folder());
            QVERIFY(QFile::remove(path));
            if (kind == QStringLiteral("link to a document"))
                QVERIFY(QFile::link(document, path));
            else if (kind == QStringLiteral("fifo"))
                QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            else if (kind == QStringLiteral("link to a device"))
                QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
            else if (kind == QStringLiteral("link to a fifo"))
                QVERIFY(QFile::link(fifo, path));
            else if (kind == QStringLiteral("folder"))
                QVERIFY(QDir().mkpath(path + QStringLiteral("/inner")));
            else
                writeFile(path, QByteArray(5000, '\xff') + "\np 1 2 3 zz\n");
            const LogCapture log;
            const auto logged = [&log] { return log.lines(QtCriticalMsg); };
            OwnRecord::finishCutShort(records());
            OwnRecord record(records(), folder());
            // Said, naming the record.
            QVERIFY(!logged().isEmpty());
            QVERIFY2(logged().first().contains(path), qPrintable(logged().first()));
            QVERIFY(!record.existed());
            QVERIFY(!record.names("made.txt"));
            // The program writes made.txt and notes it: into the records folder, not through the link.
            writeFile(at(QStringLiteral("made.txt")), "made");
            record.noteMade({"made.txt"});
            if (kind == QStringLiteral("folder"))
                QVERIFY2(logged().last().contains(QStringLiteral("cannot be replaced")), qPrintable(logged().last()));
            QCOMPARE(readFile(document), QByteArray("the user's letter"));
            QVERIFY(QFileInfo(QStringLiteral("/dev/zero")).exists());
            if (kind != QStringLiteral("folder")) {
                QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
                QVERIFY(OwnRecord(records(), folder()).isOurs("made.txt"));
            }
            QVERIFY(QFile::remove(at(QStringLiteral("made.txt"))));
            QDir(path).removeRecursively();
            QFile::remove(path);
        }
    }

    // Two programs announcing names in one folder at once, each change read, made and written
    // whole: every name of both is in the record afterwards.
    void twoProgramsLoseNoneOfEachOthersNames()
    {
        constexpr int perProgram = 300;
        std::unique_ptr<QProcess> first = startPeer({QStringLiteral("announce"), QString::number(perProgram), QStringLiteral("first ")});
        std::unique_ptr<QProcess> second = startPeer({QStringLiteral("announce"), QString::number(perProgram), QStringLiteral("second ")});
        QVERIFY(first->waitForFinished(deadline) && second->waitForFinished(deadline));
        const OwnRecord record(records(), folder());
        int found = 0;
        for (int n = 0; n < perProgram; ++n)
            found += int(record.names("first " + QByteArray::number(n))) + int(record.names("second " + QByteArray::number(n)));
        QCOMPARE(found, 2 * perProgram);
        // Nor did either fail to announce one.
        QCOMPARE(first->exitCode(), 0);
        QCOMPARE(second->exitCode(), 0);
    }
};

KESTROWAN_TEST_MAIN(TestOwnRecord)
#include "tst_ownrecord.moc"
