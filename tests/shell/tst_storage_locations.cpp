#include "Kestrowan/shell/StorageLocations.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFutureSynchronizer>
#include <QtConcurrent/QtConcurrent>

class TestStorageLocations : public QObject {
    Q_OBJECT
private slots:
    void foldersLiveUnderApplicationSupport()
    {
        const QString home = QDir::homePath();
        QCOMPARE(appSupportDirectoryURL(), home + "/.local/share/Kestrowan");
        QCOMPARE(groupsDirectoryURL(), home + "/.local/share/Kestrowan/Groups");
        QCOMPARE(skinsDirectoryURL(), home + "/.local/share/Kestrowan/Skins");
        QCOMPARE(cachesDirectoryURL(), home + "/.cache");
        // Reading a location creates nothing.
        QVERIFY(!QDir(appSupportDirectoryURL()).exists());
    }

    void fallsBackToTemporaryFolderWithOneErrorLine()
    {
        QTest::ignoreMessage(QtCriticalMsg, "Application Support unavailable, falling back to tmp");
        QCOMPARE(resolveAppSupportDirectory({}), QDir::cleanPath(QDir::tempPath() + "/Kestrowan"));
        QCOMPARE(resolveAppSupportDirectory({"/base"}), QString("/base/Kestrowan"));
    }

    void concurrentFirstUseAgrees()
    {
        QList<QFuture<QString>> futures;
        for (int i = 0; i < 8; ++i)
            futures << QtConcurrent::run([] { return skinsDirectoryURL(); });
        for (auto &future : futures)
            QCOMPARE(future.result(), QDir::homePath() + "/.local/share/Kestrowan/Skins");
    }
};

KESTROWAN_TEST_MAIN(TestStorageLocations)
#include "tst_storage_locations.moc"
