// Two programs on two displays share one home folder and so one "groups.json": each takes in what the
// other saves, and neither loses the other's change; where both changed one group, the user is told.
// The other program is a real second process working through the same store.
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/GroupsFileWriter.h"
#include "Kestrowan/groups/GroupsJson.h"
#include "Kestrowan/groups/GroupsMerge.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Platform/UserDefaults.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

QStringList namesOf(const QList<AppGroup> &groups)
{
    QStringList names;
    for (const AppGroup &group : groups)
        names.append(group.name);
    return names;
}

} // namespace

class TestGroupSharing : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_storage;
    QList<AppGroup> m_start;

    QString groupsFile() const { return m_storage + QStringLiteral("/groups.json"); }
    QStringList namesInFile() const { return namesOf(GroupsJson::decode(readBytes(groupsFile())).value_or(QList<AppGroup>())); }
    QString idOf(int index) const { return ModelJson::uuidText(m_start.at(index).id); }

    std::unique_ptr<GroupManager> startedStore()
    {
        auto manager = std::make_unique<GroupManager>(m_storage, m_storage + QStringLiteral("/Groups"));
        manager->ensureStorageDirectories();
        manager->loadGroups();
        return manager;
    }

    // Runs the other program to its end; what it printed.
    static QByteArray otherProgram(const QString &storage, const QStringList &arguments)
    {
        QProcess peer;
        peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        peer.start(QStringLiteral(STORE_PEER_PATH), QStringList{storage} + arguments);
        if (!peer.waitForFinished(120000) || peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0)
            return QByteArray();
        return peer.readAllStandardOutput();
    }

    AppGroup renamed(int index, const QString &name) const
    {
        AppGroup group = m_start.at(index);
        group.name = name;
        return group;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_storage = m_dir->path() + QStringLiteral("/Kestrowan");
        UserDefaults::standard().remove(GroupManager::syncedGroupHashesKey);
        m_start = {makeGroup(QStringLiteral("Alpha")), makeGroup(QStringLiteral("Beta")), makeGroup(QStringLiteral("Gamma")),
                   makeGroup(QStringLiteral("Delta"))};
        QVERIFY(QDir().mkpath(m_storage));
        writeBytes(groupsFile(), GroupsJson::encode(m_start));
    }

    // Each side changes, adds and deletes groups the other did not touch: after every save both
    // changes are in the file and on screen, the other's shows without a save here, and a group the
    // other deleted does not come back.
    void changesOfBothProgramsAreKept()
    {
        auto store = startedStore();
        QSignalSpy told(store.get(), &GroupManager::changedHereAndElsewhere);
        QVERIFY(otherProgram(m_storage, {QStringLiteral("rename"), idOf(0), QStringLiteral("Alpha there")}).contains("saved"));
        // Changed here before this side has heard of the other's save.
        store->updateGroup(renamed(1, QStringLiteral("Beta here")));
        const QStringList both{QStringLiteral("Alpha there"), QStringLiteral("Beta here"), QStringLiteral("Gamma"), QStringLiteral("Delta")};
        QTRY_COMPARE_WITH_TIMEOUT(namesInFile(), both, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()), both, 30000);

        const QByteArray created = otherProgram(m_storage, {QStringLiteral("create"), QStringLiteral("Epsilon")});
        QVERIFY(created.contains("saved"));
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()), both + QStringList{QStringLiteral("Epsilon")}, 30000);

        QVERIFY(otherProgram(m_storage, {QStringLiteral("delete"), idOf(2)}).contains("saved"));
        store->updateGroup(renamed(3, QStringLiteral("Delta here")));
        const QStringList afterDeletion{QStringLiteral("Alpha there"), QStringLiteral("Beta here"), QStringLiteral("Delta here"),
                                        QStringLiteral("Epsilon")};
        QTRY_COMPARE_WITH_TIMEOUT(namesInFile(), afterDeletion, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()), afterDeletion, 30000);

        // This side deletes while the other renames another group: the other starts from the file as
        // it now is, so neither side's change is lost.
        QVERIFY(otherProgram(m_storage, {QStringLiteral("rename"), idOf(3), QStringLiteral("Delta there")}).contains("saved"));
        QVERIFY(awaitDone([&](std::function<void()> done) { store->deleteGroup(store->groups().at(1), true, done); }));
        const QStringList last{QStringLiteral("Alpha there"), QStringLiteral("Delta there"), QStringLiteral("Epsilon")};
        QTRY_COMPARE_WITH_TIMEOUT(namesInFile(), last, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()), last, 30000);
        QCOMPARE(told.count(), 0);
    }

    // Both change one group: the version made here stays, on screen and in the file, and the user
    // is told which group; the same when the other deleted a group changed here.
    void aGroupChangedOnBothSidesKeepsThisSidesVersionAndIsTold()
    {
        auto store = startedStore();
        QSignalSpy told(store.get(), &GroupManager::changedHereAndElsewhere);
        LogCapture log;
        QVERIFY(otherProgram(m_storage, {QStringLiteral("rename"), idOf(0), QStringLiteral("Alpha there")}).contains("saved"));
        QVERIFY(otherProgram(m_storage, {QStringLiteral("delete"), idOf(1)}).contains("saved"));
        store->updateGroup(renamed(0, QStringLiteral("Alpha here")));
        store->updateGroup(renamed(1, QStringLiteral("Beta here")));
        QTRY_COMPARE_WITH_TIMEOUT(told.count(), 1, 30000);
        QStringList names = told.first().first().toStringList();
        names.sort();
        QCOMPARE(names, QStringList({QStringLiteral("Alpha here"), QStringLiteral("Beta here")}));
        QCOMPARE(log.count(QStringLiteral("was changed here and by another program")), 2);
        const QStringList kept{QStringLiteral("Alpha here"), QStringLiteral("Beta here"), QStringLiteral("Gamma"), QStringLiteral("Delta")};
        QTRY_COMPARE_WITH_TIMEOUT(namesInFile(), kept, 30000);
        QCOMPARE(namesOf(store->groups()), kept);
        // The other program, started again, reads what both agreed on.
        QVERIFY(otherProgram(m_storage, {QStringLiteral("rename"), idOf(2), QStringLiteral("Gamma there")}).contains("saved"));
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()),
                                  (QStringList{QStringLiteral("Alpha here"), QStringLiteral("Beta here"), QStringLiteral("Gamma there"),
                                               QStringLiteral("Delta")}),
                                  30000);
        QCOMPARE(told.count(), 1);
    }

    // Both programs rename a group of their own as fast as they can at the same time: every save
    // of one lands on a state of the file that holds the other's changes, so both last names stay.
    void savesAtTheSameTimeLoseNothing()
    {
        auto store = startedStore();
        QSignalSpy told(store.get(), &GroupManager::changedHereAndElsewhere);
        QProcess peer;
        peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        peer.start(QStringLiteral(STORE_PEER_PATH), {m_storage, QStringLiteral("renames"), idOf(0), QStringLiteral("Alpha "), QStringLiteral("300")});
        QVERIFY(peer.waitForStarted());
        while (!peer.readAllStandardOutput().contains("loaded"))
            QVERIFY(peer.waitForReadyRead(120000));
        // Renames go on here for as long as the other program's do.
        int last = -1;
        for (int i = 0; i < 300 || peer.state() == QProcess::Running; ++i) {
            std::optional<AppGroup> beta;
            for (const AppGroup &group : store->groups()) {
                if (group.id == m_start.at(1).id)
                    beta = group;
            }
            QVERIFY(beta);
            beta->name = QStringLiteral("Beta %1").arg(i);
            store->updateGroup(*beta);
            last = i;
            QCoreApplication::processEvents();
        }
        if (peer.state() != QProcess::NotRunning)
            QVERIFY(peer.waitForFinished(120000));
        QCOMPARE(peer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(peer.exitCode(), 0);
        const QStringList both{QStringLiteral("Alpha 299"), QStringLiteral("Beta %1").arg(last), QStringLiteral("Gamma"), QStringLiteral("Delta")};
        QTRY_COMPARE_WITH_TIMEOUT(namesInFile(), both, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()), both, 30000);
        QCOMPARE(told.count(), 0);
    }

    // The other program saves twice in quick succession while a save of this side is on its way:
    // this side looks at the file between the two saves, and its write finds the second. The
    // write brings the second save in; the look must not move the groups here onto the first,
    // whose older name would then pass for a change made here and be written over the newer one.
    // Landed at those exact moments, round after round: the other's last name stays, on screen
    // and in the file, beside this side's, and nobody is told of a change made on both sides.
    void aLookAtTheFileDuringAWriteKeepsTheNewerSaveOfTheOther()
    {
        auto store = startedStore();
        QSignalSpy told(store.get(), &GroupManager::changedHereAndElsewhere);
        const std::shared_ptr<GroupsFileWriter> writer = GroupsFileWriter::forFile(groupsFile());
        std::mutex mutex;
        std::condition_variable changed;
        bool holdNextWrite = false;
        bool writeHeld = false;
        bool letWriteGoOn = false;
        writer->setBeforeLookHook([&] {
            std::unique_lock lock(mutex);
            if (!std::exchange(holdNextWrite, false))
                return;
            writeHeld = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(60), [&] { return letWriteGoOn; });
        });
        const auto letGo = [&] {
            {
                const std::lock_guard lock(mutex);
                letWriteGoOn = true;
            }
            changed.notify_all();
        };
        const auto isHeld = [&] {
            const std::lock_guard lock(mutex);
            return writeHeld;
        };
        // A write held back is let go, and is over, before what the hook uses goes.
        const auto stopHolding = qScopeGuard([&] {
            letGo();
            store->waitUntilSaved();
            writer->setBeforeLookHook({});
        });
        for (int round = 0; round < 20; ++round) {
            {
                const std::lock_guard lock(mutex);
                holdNextWrite = true;
                writeHeld = false;
                letWriteGoOn = false;
            }
            const QString here = QStringLiteral("Beta here %1").arg(round);
            store->updateGroup(renamed(1, here));
            QTRY_VERIFY_WITH_TIMEOUT(isHeld(), 30000);
            // The other program's first save; this side looks at the file now.
            QList<AppGroup> theirs = GroupsJson::decode(readBytes(groupsFile())).value_or(QList<AppGroup>());
            QCOMPARE(theirs.size(), m_start.size());
            theirs[0].name = QStringLiteral("Alpha there %1 first").arg(round);
            writeBytes(groupsFile(), GroupsJson::encode(theirs));
            store->takeInOutsideChanges();
            // Its second, just before the write of this side looks.
            theirs[0].name = QStringLiteral("Alpha there %1").arg(round);
            writeBytes(groupsFile(), GroupsJson::encode(theirs));
            letGo();
            store->waitUntilSaved();
            const QStringList both{theirs[0].name, here, QStringLiteral("Gamma"), QStringLiteral("Delta")};
            QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()), both, 30000);
            store->waitUntilSaved();
            QCOMPARE(namesInFile(), both);
        }
        QCOMPARE(told.count(), 0);
    }

    // The other program saves while a write of this side is telling its listeners (its thread held
    // there, as a busy machine holds it): this side's look at the file then must not be held back
    // for a write that is over, and the other's rename reaches the screen without a further save.
    void aSaveOfTheOtherWhileAWriteIsToldIsTakenIn()
    {
        auto store = startedStore();
        const std::shared_ptr<GroupsFileWriter> writer = GroupsFileWriter::forFile(groupsFile());
        std::mutex mutex;
        std::condition_variable changed;
        bool holdNextTelling = false;
        bool tellingHeld = false;
        bool letTellingGoOn = false;
        const int owner = 0;
        // Added after the store's own listener, so told after it.
        writer->addListener(&owner, [&](const GroupsFileWriter::Outcome &) {
            std::unique_lock lock(mutex);
            if (!std::exchange(holdNextTelling, false))
                return;
            tellingHeld = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(60), [&] { return letTellingGoOn; });
        });
        const auto letGo = [&] {
            {
                const std::lock_guard lock(mutex);
                letTellingGoOn = true;
            }
            changed.notify_all();
        };
        const auto isHeld = [&] {
            const std::lock_guard lock(mutex);
            return tellingHeld;
        };
        const auto stopHolding = qScopeGuard([&] {
            letGo();
            writer->removeListener(&owner);
        });
        for (int round = 0; round < 3; ++round) {
            {
                const std::lock_guard lock(mutex);
                holdNextTelling = true;
                tellingHeld = false;
                letTellingGoOn = false;
            }
            LogCapture log;
            const QString here = QStringLiteral("Beta here %1").arg(round);
            store->updateGroup(renamed(1, here));
            QTRY_VERIFY_WITH_TIMEOUT(isHeld(), 30000);
            // What the store was told of the write so far has reached it.
            QCoreApplication::processEvents();
            const QString there = QStringLiteral("Alpha there %1").arg(round);
            QVERIFY(otherProgram(m_storage, {QStringLiteral("rename"), idOf(0), there}).contains("saved"));
            // The store looks at the changed file while the telling is held: it takes the rename in,
            // or (the fault) says it looks again once the write is over.
            const auto tookItIn = [&] { return !store->groups().isEmpty() && store->groups().first().name == there; };
            QTRY_VERIFY_WITH_TIMEOUT(tookItIn() || log.count(QStringLiteral("looking again once it is written")) > 0, 30000);
            letGo();
            QTRY_VERIFY_WITH_TIMEOUT(tookItIn(), 10000);
            store->waitUntilSaved();
            const QStringList both{there, here, QStringLiteral("Gamma"), QStringLiteral("Delta")};
            QCOMPARE(namesOf(store->groups()), both);
            QCOMPARE(namesInFile(), both);
        }
    }

    // While another writer holds the groups file's lock (one that every machine of a network home
    // sees), a save waits and writes nothing, even past the few seconds it waits (the user is then
    // told); once the lock is free, the save lands on what the other wrote meanwhile.
    void aSaveWaitsForAnotherWritersLockAndKeepsWhatItWrote_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("open-file-description lock") << QStringLiteral("ofd");
        QTest::newRow("classic lock") << QStringLiteral("posix");
    }

    void aSaveWaitsForAnotherWritersLockAndKeepsWhatItWrote()
    {
        QFETCH(QString, kind);
        auto store = startedStore();
        QSignalSpy told(store.get(), &GroupManager::changedHereAndElsewhere);
        QList<AppGroup> theirs = m_start;
        QStringList expected = namesOf(m_start);
        for (int round = 0; round < 6; ++round) {
            QProcess holder;
            holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            holder.start(QStringLiteral(STORE_PEER_PATH), {m_storage, QStringLiteral("lock"), kind});
            QVERIFY(holder.waitForStarted());
            while (!holder.readAllStandardOutput().contains("locked"))
                QVERIFY(holder.waitForReadyRead(120000));
            const QByteArray before = readBytes(groupsFile());
            const QString here = QStringLiteral("Beta here %1").arg(round);
            store->updateGroup(renamed(1, here));
            // Nothing is written under the other's lock: for a moment, and in the last round past
            // the time a save waits, when the user is told that the groups are not saved.
            if (round == 5)
                QTRY_VERIFY_WITH_TIMEOUT(store->saveFailing(), 60000);
            else
                QTest::qWait(300);
            QCOMPARE(readBytes(groupsFile()), before);
            // The holder writes its own change, and lets go.
            theirs[0].name = QStringLiteral("Alpha there %1").arg(round);
            writeBytes(groupsFile(), GroupsJson::encode(theirs));
            holder.write("go\n");
            QVERIFY(holder.waitForFinished(120000));
            QVERIFY(holder.readAllStandardOutput().contains("released"));
            expected[0] = theirs[0].name;
            expected[1] = here;
            QTRY_COMPARE_WITH_TIMEOUT(namesInFile(), expected, 30000);
            QTRY_COMPARE_WITH_TIMEOUT(namesOf(store->groups()), expected, 30000);
            QTRY_VERIFY_WITH_TIMEOUT(!store->saveFailing(), 30000);
            theirs = GroupsJson::decode(readBytes(groupsFile())).value_or(QList<AppGroup>());
        }
        QCOMPARE(told.count(), 0);
    }

    // The order of the groups: the side that moved groups decides it, and a group only one side has
    // stays after the group it followed there.
    void theOrderFollowsTheSideThatMovedGroups()
    {
        const AppGroup a = m_start.at(0), b = m_start.at(1), c = m_start.at(2), d = m_start.at(3);
        const AppGroup mine = makeGroup(QStringLiteral("Mine")), theirs = makeGroup(QStringLiteral("Theirs"));
        // Moved here, a group added there after Beta.
        QCOMPARE(namesOf(GroupsMerge::merge(m_start, {d, a, b, c}, {a, b, theirs, c, d}).groups),
                 (QStringList{"Delta", "Alpha", "Beta", "Theirs", "Gamma"}));
        // Moved there, a group added here at the front, Gamma deleted here.
        QCOMPARE(namesOf(GroupsMerge::merge(m_start, {mine, a, b, d}, {b, a, c, d}).groups),
                 (QStringList{"Mine", "Beta", "Alpha", "Delta"}));
    }
};

KESTROWAN_TEST_MAIN(TestGroupSharing)
#include "tst_groupsharing.moc"
