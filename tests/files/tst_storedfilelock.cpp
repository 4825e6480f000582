// The lock every writer of a shared stored file holds: one that two opens of the lock file contend
// for even inside one process (an open-file-description lock, not a classic one, which a process
// never contends with itself for), on a file opened for writing, and that nothing in the lock file's
// place can stall or misdirect.
#include "Platform/safewrite/StoredFileLock.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestStoredFileLock : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString stored() const { return m_dir.filePath(QStringLiteral("settings.plist")); }

private slots:
    void oneWriterAtATimeAlsoWithinOneProcess()
    {
        QCOMPARE(StoredFileLock::lockFileFor(stored()), m_dir.filePath(QStringLiteral(".settings.plist.lock")));
        for (int round = 0; round < 50; ++round) {
            StoredFileLock first = StoredFileLock::tryLock(stored());
            QVERIFY2(first.isHeld(), qPrintable(first.failure()));
            StoredFileLock second = StoredFileLock::tryLock(stored());
            QCOMPARE(second.state(), StoredFileLock::State::HeldElsewhere);
            // A wait gives up at its deadline while the other holds it.
            QElapsedTimer waited;
            waited.start();
            QCOMPARE(StoredFileLock::lockWithin(stored(), std::chrono::milliseconds(30)).state(), StoredFileLock::State::HeldElsewhere);
            QVERIFY(waited.elapsed() >= 30);
            // A moved lock is still the one lock.
            StoredFileLock moved = std::move(first);
            QCOMPARE(StoredFileLock::tryLock(stored()).state(), StoredFileLock::State::HeldElsewhere);
            moved = StoredFileLock();
            QVERIFY(StoredFileLock::tryLock(stored()).isHeld());
        }
        // The lock file stays for the next writer; the stored file is not touched.
        QVERIFY(QFileInfo(StoredFileLock::lockFileFor(stored())).isFile());
        QVERIFY(!QFileInfo::exists(stored()));
    }

    // The lock is a write lock on a file opened for writing: the same kind of lock taken by another
    // open of the file, for writing, is refused while this holds it, and given once it is gone.
    void itIsAWriteLockOnTheWholeFile()
    {
        StoredFileLock held = StoredFileLock::tryLock(stored());
        QVERIFY(held.isHeld());
        const int fd = ::open(QFile::encodeName(StoredFileLock::lockFileFor(stored())).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        struct flock region {};
        region.l_type = F_RDLCK;
        region.l_whence = SEEK_SET;
        region.l_start = 1000;
        region.l_len = 1;
        QCOMPARE(::fcntl(fd, F_OFD_GETLK, &region), 0);
        QCOMPARE(int(region.l_type), int(F_WRLCK));
        QCOMPARE(region.l_start, off_t(0));
        QCOMPARE(region.l_len, off_t(0));
        QCOMPARE(region.l_pid, pid_t(-1)); // an open-file-description lock names no process
        held = StoredFileLock();
        region = {};
        region.l_type = F_WRLCK;
        region.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(fd, F_OFD_SETLK, &region), 0);
        QCOMPARE(StoredFileLock::tryLock(stored()).state(), StoredFileLock::State::HeldElsewhere);
        ::close(fd);
        QVERIFY(StoredFileLock::tryLock(stored()).isHeld());
    }

    // A fifo, a folder or a link in the lock file's place gives no lock (so nothing is written), at
    // once and without following the link.
    void whatIsNoLockFileGivesNoLock()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(StoredFileLock::lockFileFor(fifo)).constData(), 0600), 0);
        const QString folder = m_dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkpath(StoredFileLock::lockFileFor(folder)));
        const QString linked = m_dir.filePath(QStringLiteral("linked"));
        const QString target = m_dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QFile::link(target, StoredFileLock::lockFileFor(linked)));
        for (const QString &path : {fifo, folder, linked}) {
            const StoredFileLock lock = StoredFileLock::lockWithin(path, std::chrono::milliseconds(20000));
            QCOMPARE(lock.state(), StoredFileLock::State::Failed);
            QVERIFY(lock.failure().contains(StoredFileLock::lockFileFor(path)));
        }
        QVERIFY(!QFileInfo::exists(target));
    }
};

KESTROWAN_TEST_MAIN(TestStoredFileLock)
#include "tst_storedfilelock.moc"
