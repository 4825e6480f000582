// Where a file is expected a user's machine may hold a fifo, a link to a device or a huge file.
// None of them may hang the program or make it read without end.
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Platform/BoundedFile.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "Platform/safewrite/SafeWrite.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

enum class Kind { Fifo, DeviceLink };

void makeSpecial(const QString &path, Kind kind)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    if (kind == Kind::Fifo)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestSpecialFiles : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void kinds_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("fifo") << Kind::Fifo;
        QTest::newRow("link to /dev/zero") << Kind::DeviceLink;
    }

    void theCappedReaderReadsRegularFilesOnly_data() { kinds_data(); }
    void theCappedReaderReadsRegularFilesOnly()
    {
        QFETCH(Kind, kind);
        const QString path = m_dir->filePath(QStringLiteral("special"));
        makeSpecial(path, kind);
        QString failure;
        QCOMPARE(readSmallFile(path, smallFileSizeLimit, &failure), std::nullopt);
        QCOMPARE(failure, QStringLiteral("not a regular file"));
    }

    void theCappedReaderSizesItsBufferToTheFile()
    {
        const QString path = m_dir->filePath(QStringLiteral("small"));
        writeFile(path, "twelve bytes");
        // A generous limit must cost nothing for a small file.
        const std::optional<QByteArray> bytes = readSmallFile(path, qint64(1) << 40);
        QCOMPARE(bytes, std::optional<QByteArray>(QByteArray("twelve bytes")));
        QVERIFY(bytes->capacity() < 1024);
        QCOMPARE(readSmallFile(path, 11), std::nullopt);
        QCOMPARE(readSmallFile(path, 12), std::optional<QByteArray>(QByteArray("twelve bytes")));
        writeFile(path, QByteArray());
        QCOMPARE(readSmallFile(path), std::optional<QByteArray>(QByteArray()));
    }

    void groupsFileThatIsNoFileFailsToLoadAtOnce_data() { kinds_data(); }
    void groupsFileThatIsNoFileFailsToLoadAtOnce()
    {
        QFETCH(Kind, kind);
        const QString storage = m_dir->filePath(QStringLiteral("Kestrowan"));
        makeSpecial(storage + QStringLiteral("/groups.json"), kind);
        GroupManager manager(storage, storage + QStringLiteral("/Groups"));
        manager.ensureStorageDirectories();
        QTest::ignoreMessage(QtCriticalMsg, "Failed to load groups: not a regular file");
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not back up groups.json to groups-corrupt-\\d+.json \\(not a regular file\\)")));
        manager.loadGroups();
        QVERIFY(manager.loadError());
        QVERIFY(manager.groups().isEmpty());
    }

    void skinFilesThatAreNoFilesAreSkipped_data() { kinds_data(); }
    void skinFilesThatAreNoFilesAreSkipped()
    {
        QFETCH(Kind, kind);
        const QString skins = m_dir->filePath(QStringLiteral("Skins"));
        makeSpecial(skins + QStringLiteral("/odd/skin.json"), kind);
        const SkinManager manager(skins, QString());
        QCOMPARE(manager.skinWithID(QStringLiteral("odd")), std::nullopt);
    }

    void preferencesThatAreNoFileAreMovedAside_data() { kinds_data(); }
    void preferencesThatAreNoFileAreMovedAside()
    {
        QFETCH(Kind, kind);
        const QString path = SettingsFileUserDefaults::fileForSuite(QStringLiteral("special"));
        makeSpecial(path, kind);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Preferences file .*special.plist is not a regular file; moved it to")));
        SettingsFileUserDefaults defaults(QStringLiteral("special"));
        QVERIFY(!defaults.contains(QStringLiteral("anything")));
        defaults.setValue(QStringLiteral("k"), 1);
        defaults.synchronize();
        QVERIFY(QFileInfo(path).isFile());
        QVERIFY(QFileInfo(path + QStringLiteral(".unreadable")).isSymLink() || QFileInfo::exists(path + QStringLiteral(".unreadable")));
    }

    void dockPreferencesThatAreNoFileAreNeverReplaced_data() { kinds_data(); }
    void dockPreferencesThatAreNoFileAreNeverReplaced()
    {
        QFETCH(Kind, kind);
        const QString path = DockPreferencesFile::filePath();
        makeSpecial(path, kind);
        DockPreferencesFile file;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^The Dock preferences .* cannot be read: not a regular file")));
        QCOMPARE(file.read(), std::nullopt);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^The Dock preferences .* cannot be read: not a regular file")));
        QVERIFY(!file.write(QStringLiteral("persistent-others"), QVariantList{}));
        QVERIFY(!QFileInfo(path).isFile());
        QFile::remove(path);
    }

    // A new file is made only where nothing stands: whatever is there (the user's file, a link
    // that leads nowhere, a folder, a fifo, a link to a device) stays as it was, the answer says
    // the name is taken, and nothing is left beside it; with the written file unnamed until it is
    // placed, and named from its start.
    void aNewFileIsMadeOnlyWhereNothingStands_data()
    {
        QTest::addColumn<QString>("standing");
        QTest::addColumn<bool>("named");
        for (const bool named : {false, true}) {
            const char *how = named ? "named temporary" : "unnamed temporary";
            for (const char *standing : {"nothing", "file", "dangling link", "folder", "fifo", "device link"})
                QTest::addRow("%s, %s", standing, how) << QString::fromLatin1(standing) << named;
        }
    }

    void aNewFileIsMadeOnlyWhereNothingStands()
    {
        QFETCH(QString, standing);
        QFETCH(bool, named);
        const QString path = m_dir->filePath(QStringLiteral("folder/Site.webloc"));
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        if (standing == QLatin1String("file"))
            writeFile(path, "the user's");
        else if (standing == QLatin1String("dangling link"))
            QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("nowhere")), path));
        else if (standing == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else if (standing != QLatin1String("nothing"))
            makeSpecial(path, standing == QLatin1String("fifo") ? Kind::Fifo : Kind::DeviceLink);
        struct stat before {};
        const bool stood = ::lstat(QFile::encodeName(path).constData(), &before) == 0;
        SafeWrite::refuseUnnamedFiles(named);
        int error = -1;
        const std::optional<QString> failure = SafeWrite::createFile(path, "new bytes", SafeWrite::Durability::Rebuilt, &error);
        SafeWrite::refuseUnnamedFiles(false);
        QCOMPARE(failure.has_value(), stood);
        QCOMPARE(error, stood ? EEXIST : 0);
        struct stat after {};
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &after), 0);
        if (stood) {
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        } else {
            QFile made(path);
            QVERIFY(made.open(QIODevice::ReadOnly));
            QCOMPARE(made.readAll(), QByteArray("new bytes"));
        }
        QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Site.webloc")});
    }
};

KESTROWAN_TEST_MAIN(TestSpecialFiles)
#include "tst_specialfiles.moc"
