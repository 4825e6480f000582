// A stored file's name may hold something that is no file of ours: a device, a fifo, a socket or a
// folder, directly or behind links. Run as root, moving a new file over it would replace a device of
// the system. What is no regular file is refused and logged; a link to a regular file (settings kept
// in a dotfiles folder) has its target written and stays a link.
#include "Kestrowan/app/DesktopIntegration.h"
#include "Kestrowan/mainwindow/InstalledAppsService.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <fcntl.h>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int timeout = 20000;

enum class Kind { Device, Fifo, Socket, Folder };

mode_t typeOf(const QString &path, bool followLinks)
{
    struct stat info {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLinks ? ::stat(name.constData(), &info) : ::lstat(name.constData(), &info)) != 0)
        return 0;
    return info.st_mode & S_IFMT;
}

mode_t modeOf(Kind kind)
{
    switch (kind) {
    case Kind::Device:
        return S_IFCHR;
    case Kind::Fifo:
        return S_IFIFO;
    case Kind::Socket:
        return S_IFSOCK;
    case Kind::Folder:
        return S_IFDIR;
    }
    return 0;
}

// Makes `path` a `kind`; an empty text when it could, else why not. The device is a node of this
// test's own (the numbers of /dev/null), never a device of the machine.
QString makeSpecial(const QString &path, Kind kind, std::vector<int> &sockets)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    switch (kind) {
    case Kind::Device:
        return ::mknod(name.constData(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? QString() : QStringLiteral("mknod needs root");
    case Kind::Fifo:
        return ::mkfifo(name.constData(), 0600) == 0 ? QString() : QStringLiteral("mkfifo failed");
    case Kind::Socket: {
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (socket < 0 || size_t(name.size()) >= sizeof(address.sun_path))
            return QStringLiteral("no socket");
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        sockets.push_back(socket);
        return ::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 ? QString() : QStringLiteral("bind failed");
    }
    case Kind::Folder:
        return QDir().mkpath(path) ? QString() : QStringLiteral("mkdir failed");
    }
    return QStringLiteral("unknown kind");
}

QString desktopEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications/kestrowan.desktop");
}

} // namespace

class TestStoredFileKinds : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<int> m_sockets;

    // Where `stored` should be: the special thing itself, or a link (through a second link, for
    // "chain") to one kept in the test's own folder. Returns the special thing's path.
    QString place(const QString &stored, Kind kind, const QString &how, const QString &name)
    {
        QDir().mkpath(QFileInfo(stored).absolutePath());
        QFile::remove(stored);
        QDir(stored).removeRecursively();
        if (how == QLatin1String("direct")) {
            const QString failure = makeSpecial(stored, kind, m_sockets);
            if (!failure.isEmpty())
                qWarning("%s", qPrintable(failure));
            return stored;
        }
        const QString special = m_dir->filePath(name);
        const QString failure = makeSpecial(special, kind, m_sockets);
        if (!failure.isEmpty())
            qWarning("%s", qPrintable(failure));
        if (how == QLatin1String("chain")) {
            const QString middle = m_dir->filePath(name + QStringLiteral(".middle"));
            QFile::link(special, middle);
            QFile::link(middle, stored);
        } else {
            // A relative link, as a dotfiles manager makes them.
            QFile::link(QDir(QFileInfo(stored).absolutePath()).relativeFilePath(special), stored);
        }
        return special;
    }

    // A link at `stored` (in place of whatever was there) to `target`.
    static bool linkInPlace(const QString &stored, const QString &target)
    {
        QDir().mkpath(QFileInfo(stored).absolutePath());
        QFile::remove(stored);
        return QFile::link(target, stored);
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void cleanup()
    {
        for (const int socket : m_sockets)
            ::close(socket);
        m_sockets.clear();
    }

    void whatIsNoRegularFileIsNeverReplaced_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("how");
        for (const QString &how : {QStringLiteral("direct"), QStringLiteral("link"), QStringLiteral("chain")}) {
            QTest::newRow(qPrintable(QStringLiteral("device, ") + how)) << Kind::Device << how;
            QTest::newRow(qPrintable(QStringLiteral("fifo, ") + how)) << Kind::Fifo << how;
            QTest::newRow(qPrintable(QStringLiteral("socket, ") + how)) << Kind::Socket << how;
            QTest::newRow(qPrintable(QStringLiteral("folder, ") + how)) << Kind::Folder << how;
        }
    }

    // The desktop entry the program installs once its window is drawn, and the installed-apps cache
    // a scan writes, both standing where the system keeps something else.
    void whatIsNoRegularFileIsNeverReplaced()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, how);
        if (kind == Kind::Device && ::geteuid() != 0)
            QSKIP("making a device node needs root");

        const QString entry = desktopEntryPath();
        const QString cache = m_dir->filePath(QStringLiteral("Kestrowan/installed_apps_cache.json"));
        const QString entryTarget = place(entry, kind, how, QStringLiteral("entry-target"));
        const QString cacheTarget = place(cache, kind, how, QStringLiteral("cache-target"));
        QCOMPARE(typeOf(entryTarget, false), modeOf(kind));
        QCOMPARE(typeOf(cacheTarget, false), modeOf(kind));

        const QRegularExpression refusal(QStringLiteral("^Refused to replace .*(kestrowan\\.desktop|installed_apps_cache\\.json): "
                                                        ".*not a regular file"));
        QTest::ignoreMessage(QtCriticalMsg, refusal);
        installDesktopIntegration(QStringLiteral("/opt/k/Kestrowan"));

        QTest::ignoreMessage(QtCriticalMsg, refusal);
        InstalledAppsService service(cache, InstalledAppsRoots{});
        QSignalSpy scanning(&service, &InstalledAppsService::isScanningChanged);
        service.refreshInstalledApps();
        QTRY_VERIFY_WITH_TIMEOUT(scanning.count() >= 2 && !service.isScanning(), timeout);

        // Still what it was, and a link still the same link.
        QCOMPARE(typeOf(entryTarget, false), modeOf(kind));
        QCOMPARE(typeOf(cacheTarget, false), modeOf(kind));
        if (how != QLatin1String("direct")) {
            QCOMPARE(typeOf(entry, false), mode_t(S_IFLNK));
            QCOMPARE(typeOf(cache, false), mode_t(S_IFLNK));
            QCOMPARE(typeOf(entry, true), modeOf(kind));
        }
    }

    // Settings kept in a dotfiles folder: the program's settings file and its desktop entry are links
    // into it. Saving writes the files there and leaves the links as the user made them.
    // Files made again from stored data (a mirror folder's) skip the sync to the disk, and are
    // replaced all the same: whole or not at all, with the permissions they had, nothing beside them.
    void aFileMadeAgainIsReplacedLikeAnyOther()
    {
        const QString folder = m_dir->filePath(QStringLiteral("Work"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/.hidden");
        const QString saved = folder + QStringLiteral("/saved");
        QVERIFY(!SafeWrite::replaceFile(saved, "saved", SafeWrite::Folder::MustExist, SafeWrite::Durability::Disk));
        QVERIFY(!SafeWrite::replaceFile(path, "Icon\n", SafeWrite::Folder::MustExist, SafeWrite::Durability::Rebuilt));
        QCOMPARE(readTestFile(path), QByteArray("Icon\n"));
        QCOMPARE(QFileInfo(path).permissions(), QFileInfo(saved).permissions());

        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        const QString linked = folder + QStringLiteral("/link");
        QVERIFY(QFile::link(path, linked));
        QVERIFY(!SafeWrite::replaceFile(linked, "Icon\nIcon?\n", SafeWrite::Folder::MustExist, SafeWrite::Durability::Rebuilt));
        QCOMPARE(typeOf(linked, false), mode_t(S_IFLNK));
        QCOMPARE(readTestFile(path), QByteArray("Icon\nIcon?\n"));
        QCOMPARE(QFileInfo(path).permissions(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                    | QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral(".hidden"), QStringLiteral("link"), QStringLiteral("saved")}));

        QVERIFY(SafeWrite::replaceFile(folder + QStringLiteral("/gone/.hidden"), "x", SafeWrite::Folder::MustExist,
                                       SafeWrite::Durability::Rebuilt));
    }

    void aLinkToARegularFileHasItsTargetWritten()
    {
        const QString dotfiles = m_dir->filePath(QStringLiteral("dotfiles"));
        const QString settingsTarget = dotfiles + QStringLiteral("/kestrowan/Kestrowan.plist");
        const QString entryTarget = dotfiles + QStringLiteral("/kestrowan.desktop");
        QVERIFY(writeTestFile(settingsTarget, QByteArray()));
        QVERIFY(writeTestFile(entryTarget, "[Desktop Entry]\nName=Old\n"));
        const QString settings = SettingsFileUserDefaults::fileForSuite(QString());
        const QString entry = desktopEntryPath();
        QVERIFY(linkInPlace(settings, QDir(QFileInfo(settings).absolutePath()).relativeFilePath(settingsTarget)));
        QVERIFY(linkInPlace(entry, entryTarget));

        {
            SettingsFileUserDefaults defaults(QString{});
            defaults.setValue(QStringLiteral("appearanceMode"), QStringLiteral("dark"));
            defaults.synchronize();
        }
        installDesktopIntegration(QStringLiteral("/opt/k/Kestrowan"));

        QCOMPARE(typeOf(settings, false), mode_t(S_IFLNK));
        QCOMPARE(typeOf(entry, false), mode_t(S_IFLNK));
        QVERIFY(readTestFile(settingsTarget).contains("<string>dark</string>"));
        QVERIFY(readTestFile(entryTarget).contains("/opt/k/Kestrowan"));
        QVERIFY(!readTestFile(entryTarget).contains("Name=Old"));
        // Read back through the link, as the next start reads it.
        SettingsFileUserDefaults again(QString{});
        QCOMPARE(again.string(QStringLiteral("appearanceMode")), QStringLiteral("dark"));
        // Nothing left beside the links or their targets.
        QCOMPARE(QDir(dotfiles).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kestrowan.desktop")});
        QCOMPARE(QDir(dotfiles + QStringLiteral("/kestrowan")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("Kestrowan.plist")});
    }

    // A link whose file is not there yet (a dotfiles checkout not made yet) follows one rule for
    // every stored file: the link stays as the user made it and its file is written where it points.
    void aLinkToNothingHasItsTargetWrittenLikeAnyOther()
    {
        const QString dotfiles = m_dir->filePath(QStringLiteral("dotfiles"));
        QVERIFY(QDir().mkpath(dotfiles));
        const QString settingsTarget = dotfiles + QStringLiteral("/Kestrowan.plist");
        const QString entryTarget = dotfiles + QStringLiteral("/kestrowan.desktop");
        const QString settings = SettingsFileUserDefaults::fileForSuite(QString());
        const QString entry = desktopEntryPath();
        QVERIFY(linkInPlace(settings, settingsTarget));
        QVERIFY(linkInPlace(entry, entryTarget));

        {
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(QStringLiteral("Preferences file %1 is a link to %2, which is not there; "
                                                                          "settings start empty and are saved there")
                                                               .arg(settings, settingsTarget)));
            SettingsFileUserDefaults defaults(QString{});
            QVERIFY(defaults.keys().isEmpty());
            defaults.setValue(QStringLiteral("appearanceMode"), QStringLiteral("dark"));
            defaults.synchronize();
            QVERIFY(!defaults.saveFailing());
        }
        installDesktopIntegration(QStringLiteral("/opt/k/Kestrowan"));

        QCOMPARE(typeOf(settings, false), mode_t(S_IFLNK));
        QCOMPARE(typeOf(entry, false), mode_t(S_IFLNK));
        QVERIFY(readTestFile(settingsTarget).contains("<string>dark</string>"));
        QVERIFY(readTestFile(entryTarget).contains("/opt/k/Kestrowan"));
        QVERIFY(!QFileInfo::exists(settings + QStringLiteral(".unreadable")) && !QFileInfo(settings + QStringLiteral(".unreadable")).isSymLink());
        SettingsFileUserDefaults again(QString{});
        QCOMPARE(again.string(QStringLiteral("appearanceMode")), QStringLiteral("dark"));
    }

    // What is replaced is what was checked: a second thread keeps swapping a fifo and a link into the
    // file's place while it is saved again and again. Neither is ever destroyed (the link's file is
    // written, as a stored file's link has it), and the file keeps the permissions it had, never those
    // of what was swapped in.
    void whatWasCheckedIsWhatIsReplaced()
    {
        const QString folder = m_dir->filePath(QStringLiteral("Store"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/groups.json");
        QVERIFY(writeTestFile(path, "[]"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        const QByteArray fifo = QFile::encodeName(folder + QStringLiteral("/fifo"));
        const QByteArray link = QFile::encodeName(folder + QStringLiteral("/link"));
        QVERIFY(writeTestFile(m_dir->filePath(QStringLiteral("open.txt")), "anyone's"));
        QVERIFY(::chmod(QFile::encodeName(m_dir->filePath(QStringLiteral("open.txt"))).constData(), 0777) == 0);
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(::symlink("../open.txt", link.constData()), 0);
        const QByteArray target = QFile::encodeName(path);

        std::atomic_bool stop = false;
        std::atomic_int swaps = 0;
        std::thread swapper([&] {
            // Exchanges only, so the thread itself never destroys anything.
            while (!stop.load()) {
                for (const QByteArray *side : {&fifo, &link}) {
                    if (::renameat2(AT_FDCWD, side->constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) == 0)
                        ++swaps;
                    ::renameat2(AT_FDCWD, side->constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE);
                }
            }
        });
        int written = 0;
        for (int round = 0; round < 4000; ++round) {
            const SafeWrite::Durability durability = round % 40 == 0 ? SafeWrite::Durability::Disk : SafeWrite::Durability::Rebuilt;
            written += SafeWrite::replaceFile(path, QByteArray::number(round), SafeWrite::Folder::MustExist, durability) ? 0 : 1;
        }
        stop = true;
        swapper.join();
        QVERIFY(swaps.load() > 0);
        QVERIFY(written > 0);

        int fifos = 0;
        int links = 0;
        int files = 0;
        for (const QString &name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            struct stat status {};
            QCOMPARE(::lstat(QFile::encodeName(folder + u'/' + name).constData(), &status), 0);
            fifos += S_ISFIFO(status.st_mode) ? 1 : 0;
            links += S_ISLNK(status.st_mode) ? 1 : 0;
            if (S_ISREG(status.st_mode)) {
                ++files;
                QCOMPARE(status.st_mode & 07777, mode_t(0640));
                bool number = false;
                readTestFile(folder + u'/' + name).toInt(&number);
                QVERIFY(number || readTestFile(folder + u'/' + name) == "[]");
            }
        }
        QCOMPARE(fifos, 1);
        QCOMPARE(links, 1);
        // The thread may have moved a saved file under another name; every one is whole and the
        // file's own permissions.
        QVERIFY(files >= 1);
        struct stat open {};
        QCOMPARE(::stat(QFile::encodeName(m_dir->filePath(QStringLiteral("open.txt"))).constData(), &open), 0);
        QCOMPARE(open.st_mode & 07777, mode_t(0777));
    }
};

KESTROWAN_TEST_MAIN(TestStoredFileKinds)
#include "tst_storedfilekinds.moc"
