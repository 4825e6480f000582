// A disk that fills up during a save must cost the new state only, never the old file. The disk is
// made "full" for real, by this process's file-size limit.
#include "Kestrowan/app/DesktopIntegration.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/MirrorFolders.h"
#include "Kestrowan/mainwindow/InstalledAppsCache.h"
#include "Kestrowan/shell/LaunchAtLogin.h"
#include "Platform/PropertyList.h"
#include "Platform/dockstandin/wire/TrustStore.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "Tallyline/DefaultsSuite.h"
#include "Tallyline/SignalCache.h"
#include "tests/support/FullDisk.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace {

constexpr rlim_t fullAt = 64;

// Longer than the disk allows, shorter than the buffer of a file device: only the flush can fail.
QString longText() { return QString(3000, u'k'); }

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestFullDisk : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    // Runs `save` on a full disk; the file at `path` must still hold `before`, and no temporary file
    // may be left beside it.
    void checkKeptWhole(const QString &path, const QByteArray &before, const std::function<void()> &save)
    {
        QCOMPARE(readTestFile(path), before);
        const QStringList neighbours = filesIn(QFileInfo(path).absolutePath());
        {
            FullDisk disk(fullAt);
            QVERIFY(disk.active());
            save();
        }
        QCOMPARE(readTestFile(path), before);
        QCOMPARE(filesIn(QFileInfo(path).absolutePath()), neighbours);
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void theGroupsFileSurvivesARenameOnAFullDisk()
    {
        const QString storage = m_dir->filePath(QStringLiteral("Kestrowan"));
        GroupManager manager(storage, storage + QStringLiteral("/Groups"));
        manager.ensureStorageDirectories();
        const AppGroup group = manager.createGroup();
        manager.waitUntilSaved();
        const QString path = storage + QStringLiteral("/groups.json");
        const QByteArray before = readTestFile(path);
        QVERIFY(before.contains(group.name.toUtf8()));
        checkKeptWhole(path, before, [&] {
            AppGroup renamed = group;
            renamed.name = longText();
            manager.updateGroup(renamed);
            manager.waitUntilSaved();
        });
    }

    void theSettingsFileSurvives()
    {
        auto defaults = std::make_unique<SettingsFileUserDefaults>(QStringLiteral("com.kestrowan.fulldisk"));
        defaults->setValue(QStringLiteral("hasCompletedOnboarding"), true);
        defaults->synchronize();
        const QString path = SettingsFileUserDefaults::fileForSuite(QStringLiteral("com.kestrowan.fulldisk"));
        const QByteArray before = readTestFile(path);
        QVERIFY(before.contains("hasCompletedOnboarding"));
        checkKeptWhole(path, before, [&] {
            defaults->setValue(QStringLiteral("note"), longText());
            defaults->synchronize();
        });
    }

    void theDockPreferencesSurvive()
    {
        const QString path = DockPreferencesFile::filePath();
        QVariantMap dock{{QStringLiteral("tilesize"), 48}};
        QVERIFY(PropertyList::writeBinaryFile(path, dock));
        const QByteArray before = readTestFile(path);
        DockPreferencesFile file;
        checkKeptWhole(path, before, [&] { QVERIFY(!file.write(QStringLiteral("note"), longText())); });
    }

    void theSignalCacheSurvives()
    {
        const QString path = m_dir->filePath(QStringLiteral("signals/cache.json"));
        SignalPostBody signal;
        signal.type = QStringLiteral("first");
        signal.receivedAt = QDateTime::currentDateTimeUtc();
        {
            SignalCache cache(std::nullopt, path);
            cache.appendSignal(signal);
            QVERIFY(cache.writeSignalCacheFile());
        }
        const QByteArray before = readTestFile(path);
        checkKeptWhole(path, before, [&] {
            SignalCache cache(std::nullopt, path);
            signal.type = longText();
            cache.appendSignal(signal);
            QVERIFY(!cache.writeSignalCacheFile());
        });
    }

    void theUsageSignalClientsSettingsSurvive()
    {
        const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/Tallyline/fulldisk.conf");
        DefaultsSuite::open(QStringLiteral("fulldisk"))->setValue(QStringLiteral("sessions"), QStringLiteral("first"));
        const QByteArray before = readTestFile(path);
        QVERIFY(before.contains("first"));
        checkKeptWhole(path, before, [&] { DefaultsSuite::open(QStringLiteral("fulldisk"))->setValue(QStringLiteral("sessions"), longText()); });
    }

    void theInstalledAppsCacheSurvives()
    {
        const QString path = m_dir->filePath(QStringLiteral("installed-apps.json"));
        AppItem item;
        item.name = QStringLiteral("Files");
        item.path = QStringLiteral("/usr/share/applications/files.desktop");
        QString failure;
        QVERIFY(InstalledAppsCache::save(path, {item}, &failure));
        const QByteArray before = readTestFile(path);
        checkKeptWhole(path, before, [&] {
            item.name = longText();
            QVERIFY(!InstalledAppsCache::save(path, {item}, &failure));
            QVERIFY(!failure.isEmpty());
        });
    }

    void theAutostartEntrySurvives()
    {
        const QString path = LaunchAtLogin::autostartEntryPath();
        LaunchAtLogin::setLaunchAtLogin(true, QStringLiteral("/opt/k/Kestrowan"));
        const QByteArray before = readTestFile(path);
        QVERIFY(before.contains("/opt/k/Kestrowan"));
        checkKeptWhole(path, before, [&] { LaunchAtLogin::setLaunchAtLogin(true, QStringLiteral("/opt/") + longText()); });
    }

    void theDesktopEntrySurvives()
    {
        installDesktopIntegration(QStringLiteral("/opt/k/Kestrowan"));
        // The desktop's cache tool writes its cache beside the entry a moment later: that file is its
        // own, not a leftover of the save, so the folder is looked at once the tool has finished.
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::none_of(QCoreApplication::instance()->findChildren<QProcess *>(),
                                                      [](const QProcess *tool) { return tool->state() != QProcess::NotRunning; }),
                                 60000);
        const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/applications/kestrowan.desktop");
        const QByteArray before = readTestFile(path);
        QVERIFY(before.contains("/opt/k/Kestrowan"));
        checkKeptWhole(path, before, [&] { installDesktopIntegration(QStringLiteral("/opt/") + longText()); });
    }

    void aMirrorFolderLinkFileSurvives()
    {
        const QString path = m_dir->filePath(QStringLiteral("Groups/Links/Site.webloc"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QVERIFY(!MirrorFolders::writeWeblocFile(QUrl(QStringLiteral("https://example.org/")), path));
        const QByteArray before = readTestFile(path);
        checkKeptWhole(path, before, [&] {
            QVERIFY(MirrorFolders::writeWeblocFile(QUrl(QStringLiteral("https://example.org/") + longText()), path));
        });
    }

    void theStandInDocksTrustFileSurvives()
    {
        const QString path = TrustStore::filePath();
        QVERIFY(TrustStore::grant(QStringLiteral("/opt/first")));
        const QByteArray before = readTestFile(path);
        checkKeptWhole(path, before, [&] { QVERIFY(!TrustStore::grant(QStringLiteral("/opt/") + longText())); });
        QVERIFY(TrustStore::isTrusted(QStringLiteral("/opt/first")));
    }

    void aLargeListOfDefaultApplicationsKeepsEveryLineNotOurs()
    {
        const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/mimeapps.list");
        // Over a mebibyte, with lines in Latin-1 and with Windows line ends, as years of programs leave it.
        QByteArray others = "[Added Associations]\r\ntext/plain=caf\xe9.desktop;\r\n";
        for (int i = 0; others.size() < 1100 * 1024; ++i)
            others += "application/x-type-" + QByteArray::number(i) + "=viewer-" + QByteArray::number(i) + ".desktop;\n";
        const QByteArray theirDefaults = "[Default Applications]\ntext/html=firefox.desktop;\n";
        QVERIFY(writeTestFile(path, others + theirDefaults));
        installDesktopIntegration(QStringLiteral("/opt/k/Kestrowan"));
        const QByteArray after = readTestFile(path);
        QVERIFY(after.startsWith(others));
        QVERIFY(after.contains("\n[Default Applications]\nx-scheme-handler/kestrowan=kestrowan.desktop;\n"));
        QVERIFY(after.endsWith("application/x-kestrowanlink=kestrowan.desktop;\ntext/html=firefox.desktop;\n"));
    }

    void aListOfDefaultApplicationsThatCannotBeReadWholeIsLeftAlone()
    {
        const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/mimeapps.list");
        QByteArray huge = "[Default Applications]\n";
        huge += QByteArray(17 * 1024 * 1024, 'x') + '\n';
        QVERIFY(writeTestFile(path, huge));
        installDesktopIntegration(QStringLiteral("/opt/k/Kestrowan"));
        QCOMPARE(QFileInfo(path).size(), huge.size());
        QVERIFY(readTestFile(path) == huge);
    }
};

KESTROWAN_TEST_MAIN(TestFullDisk)
#include "tst_fulldisk.moc"
