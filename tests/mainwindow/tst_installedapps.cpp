// The installed-applications scan over temporary roots, its cache file and the refresh cycle.
#include "Kestrowan/mainwindow/InstalledAppsCache.h"
#include "Kestrowan/mainwindow/InstalledAppsService.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Platform/PropertyList.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// An ".app" folder; a null identifier leaves the key out.
QString makeBundle(const QString &path, const QVariant &identifier, const QVariantMap &extra = {})
{
    QVariantMap information = extra;
    if (identifier.isValid())
        information.insert(QStringLiteral("CFBundleIdentifier"), identifier);
    writeFile(path + QStringLiteral("/Contents/Info.plist"), PropertyList::toXml(information));
    return path;
}

QString makeEntry(const QString &path, const QByteArray &body)
{
    writeFile(path, "[Desktop Entry]\n" + body);
    return path;
}

QStringList names(const QList<AppItem> &apps)
{
    QStringList list;
    for (const AppItem &app : apps)
        list.append(app.name);
    return list;
}

QStringList identifiers(const QList<AppItem> &apps)
{
    QStringList list;
    for (const AppItem &app : apps)
        list.append(app.bundleIdentifier);
    return list;
}

AppItem item(const QString &identifier, const QString &name, const QString &path)
{
    return {QUuid::createUuid(), identifier, name, path};
}

} // namespace

class TestInstalledApps : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString root(const QString &name) const { return m_dir->path() + u'/' + name; }

    InstalledAppsRoots oneBundleRoot() const { return {{root(QStringLiteral("Applications"))}, {}}; }

    bool waitForScan(InstalledAppsService &service)
    {
        return QTest::qWaitFor([&service] { return !service.isScanning(); }, 20000);
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void scanKeepsTheFirstCopyOfEachApplication()
    {
        const QString first = root(QStringLiteral("Applications"));
        const QString second = root(QStringLiteral("System/Applications"));
        const QString user = root(QStringLiteral("home/Applications"));
        makeBundle(first + QStringLiteral("/Mail.app"), QStringLiteral("com.mail"));
        makeBundle(user + QStringLiteral("/Mail.app"), QStringLiteral("com.mail"));
        makeBundle(second + QStringLiteral("/Notes.app"), QStringLiteral("com.notes"));
        makeBundle(user + QStringLiteral("/Notes Copy.app"), QStringLiteral("com.notes"));
        // Identifiers differ in case only: two applications.
        makeBundle(user + QStringLiteral("/Shout.app"), QStringLiteral("COM.MAIL"));

        const QString userEntries = root(QStringLiteral("home/.local/share/applications"));
        const QString systemEntries = root(QStringLiteral("usr/share/applications"));
        makeEntry(userEntries + QStringLiteral("/org.editor.desktop"), "Type=Application\nName=My Editor\n");
        makeEntry(systemEntries + QStringLiteral("/org.editor.desktop"), "Type=Application\nName=Editor\n");
        // A desktop entry named like a bundle already found is the same application.
        makeEntry(systemEntries + QStringLiteral("/com.mail.desktop"), "Type=Application\nName=Mail Entry\n");
        makeEntry(systemEntries + QStringLiteral("/kde/viewer.desktop"), "Type=Application\nName=Viewer\n");

        const QList<AppItem> apps = InstalledAppsScanner::scanApplications(
            {{first, second, root(QStringLiteral("missing")), user}, {userEntries, systemEntries}});
        QCOMPARE(identifiers(apps), QStringList({QStringLiteral("com.mail"), QStringLiteral("org.editor"),
                                                 QStringLiteral("com.notes"), QStringLiteral("COM.MAIL"),
                                                 QStringLiteral("kde-viewer")}));
        QCOMPARE(apps[0].path, first + QStringLiteral("/Mail.app"));
        QCOMPARE(apps[1].name, QStringLiteral("My Editor"));
        QCOMPARE(apps[1].path, userEntries + QStringLiteral("/org.editor.desktop"));
        QCOMPARE(apps[2].path, second + QStringLiteral("/Notes.app"));
        QCOMPARE(QSet<QUuid>({apps[0].id, apps[1].id, apps[2].id, apps[3].id, apps[4].id}).size(), 5);
    }

    void scanFindsNestedBundlesButNeverEntersOne()
    {
        const QString apps = root(QStringLiteral("Applications"));
        makeBundle(apps + QStringLiteral("/Utilities/Deep/Tool.app"), QStringLiteral("com.tool"));
        makeBundle(apps + QStringLiteral("/Suite.app"), QStringLiteral("com.suite"));
        makeBundle(apps + QStringLiteral("/Suite.app/Contents/Helpers/Helper.app"), QStringLiteral("com.helper"));
        makeBundle(apps + QStringLiteral("/Shouting.APP"), QStringLiteral("com.shouting"));
        makeBundle(apps + QStringLiteral("/.Secret.app"), QStringLiteral("com.secret"));
        makeBundle(apps + QStringLiteral("/.hidden/Inside.app"), QStringLiteral("com.inside"));
        makeBundle(apps + QStringLiteral("/Broken.app"), QVariant());
        writeFile(apps + QStringLiteral("/Plain.app"), "not a folder");
        // Links back up the tree, and two links to one folder, are walked once and never loop.
        QVERIFY(QFile::link(apps, apps + QStringLiteral("/Utilities/Loop")));
        QVERIFY(QFile::link(apps + QStringLiteral("/Utilities"), apps + QStringLiteral("/Again")));

        const QList<AppItem> found = InstalledAppsScanner::scanApplications(oneBundleRoot());
        QCOMPARE(identifiers(found), QStringList({QStringLiteral("com.suite"), QStringLiteral("com.tool")}));
    }

    void namesComeFromTheInformationThenTheFileName()
    {
        const QString apps = root(QStringLiteral("Applications"));
        makeBundle(apps + QStringLiteral("/Empty.app"), QStringLiteral("a.empty"),
                   {{QStringLiteral("CFBundleDisplayName"), QString()}, {QStringLiteral("CFBundleName"), QStringLiteral("Never")}});
        makeBundle(apps + QStringLiteral("/Number.app"), QStringLiteral("b.number"),
                   {{QStringLiteral("CFBundleDisplayName"), qint64(7)}, {QStringLiteral("CFBundleName"), QStringLiteral("Numbered")}});
        makeBundle(apps + QStringLiteral("/Bare Tool.app"), QStringLiteral("c.bare"));
        const QString entries = root(QStringLiteral("applications"));
        makeEntry(entries + QStringLiteral("/nameless.desktop"), "Type=Application\nExec=x\n");
        makeEntry(entries + QStringLiteral("/helper.desktop"), "Type=Application\nName=Helper\nNoDisplay=true\n");
        makeEntry(entries + QStringLiteral("/removed.desktop"), "Type=Application\nName=Removed\nHidden=true\n");
        makeEntry(entries + QStringLiteral("/site.desktop"), "Type=Link\nName=Site\nURL=https://example.com\n");
        writeFile(entries + QStringLiteral("/garbage.desktop"), QByteArray("\xff\xfe\x00garbage", 10));

        const QList<AppItem> found = InstalledAppsScanner::scanApplications({{apps}, {entries}});
        QCOMPARE(names(found), QStringList({QString(), QStringLiteral("Bare Tool"), QStringLiteral("nameless"),
                                            QStringLiteral("Numbered")}));
    }

    void sortIsStableCaseInsensitiveAndLocaleAware()
    {
        QList<AppItem> apps{item(QStringLiteral("1"), QStringLiteral("zebra"), {}),
                            item(QStringLiteral("2"), QStringLiteral("Banana"), {}),
                            item(QStringLiteral("3"), QStringLiteral("apple"), {}),
                            item(QStringLiteral("4"), QStringLiteral("Äpfel"), {}),
                            item(QStringLiteral("5"), QStringLiteral("Apple"), {}),
                            item(QStringLiteral("6"), QStringLiteral("banana"), {}),
                            item(QStringLiteral("7"), QStringLiteral("Cherry"), {})};
        InstalledAppsScanner::sortByName(apps);
        // Equal names keep the order in which they were found.
        QCOMPARE(identifiers(apps), QStringList({QStringLiteral("4"), QStringLiteral("3"), QStringLiteral("5"),
                                                 QStringLiteral("2"), QStringLiteral("6"), QStringLiteral("7"),
                                                 QStringLiteral("1")}));
    }

    void cacheIsWrittenInItsExactFormat()
    {
        const AppItem app{QUuid(QStringLiteral("{6f1c0d4e-2b7a-4c1e-9a35-0b8f2d6e7c11}")), QStringLiteral("org.a/b"),
                          QStringLiteral("Qu\"ote\\ Ünï \t\x01"), QStringLiteral("/Applications/A.app")};
        const QByteArray bytes = InstalledAppsCache::encode({app, app});
        const QByteArray one = "{\"id\":\"6F1C0D4E-2B7A-4C1E-9A35-0B8F2D6E7C11\",\"bundleIdentifier\":\"org.a\\/b\","
                               "\"name\":\"Qu\\\"ote\\\\ " + QStringLiteral("Ünï").toUtf8() + " \\t\\u0001\","
                               "\"path\":\"\\/Applications\\/A.app\"}";
        QCOMPARE(bytes, "[" + one + "," + one + "]");
        QCOMPARE(InstalledAppsCache::decode(bytes), std::optional<QList<AppItem>>({app, app}));
        QCOMPARE(InstalledAppsCache::encode({}), QByteArray("[]"));
        // Other keys are ignored; a lower-case identifier reads as the same one.
        const QByteArray extra = "[{\"path\":\"\\/p\",\"name\":\"n\",\"bundleIdentifier\":\"b\",\"extra\":1,"
                                 "\"id\":\"6f1c0d4e-2b7a-4c1e-9a35-0b8f2d6e7c11\"}]";
        QCOMPARE(InstalledAppsCache::decode(extra)->first().id, app.id);
    }

    void unusableCachesAreRejectedWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("one object lacks path")
            << QByteArray("[{\"id\":\"6F1C0D4E-2B7A-4C1E-9A35-0B8F2D6E7C11\",\"bundleIdentifier\":\"b\",\"name\":\"n\",\"path\":\"/p\"},"
                          "{\"id\":\"7F1C0D4E-2B7A-4C1E-9A35-0B8F2D6E7C11\",\"bundleIdentifier\":\"c\",\"name\":\"m\"}]");
        QTest::newRow("a number for a name")
            << QByteArray("[{\"id\":\"6F1C0D4E-2B7A-4C1E-9A35-0B8F2D6E7C11\",\"bundleIdentifier\":\"b\",\"name\":3,\"path\":\"/p\"}]");
        QTest::newRow("not json") << QByteArray("\x00\xff{[", 5);
        QTest::newRow("an object") << QByteArray("{\"apps\":[]}");
        QTest::newRow("a bad id") << QByteArray("[{\"id\":\"x\",\"bundleIdentifier\":\"b\",\"name\":\"n\",\"path\":\"/p\"}]");
    }

    void unusableCachesAreRejectedWhole()
    {
        QFETCH(QByteArray, bytes);
        makeBundle(root(QStringLiteral("Applications/Mail.app")), QStringLiteral("com.mail"));
        const QString cache = root(QStringLiteral("cache.json"));
        writeFile(cache, bytes);
        InstalledAppsService service(cache, oneBundleRoot());
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to load app cache: .+")));
        service.refreshInstalledApps();
        QVERIFY(service.installedApps().isEmpty());
        QVERIFY(waitForScan(service));
        QCOMPARE(identifiers(service.installedApps()), QStringList{QStringLiteral("com.mail")});
        // The scan's save replaces the bad file.
        QCOMPARE(InstalledAppsCache::load(cache, nullptr), service.installedApps());
    }

    void cachedListIsShownBeforeTheScanReturns()
    {
        makeBundle(root(QStringLiteral("Applications/Mail.app")), QStringLiteral("com.mail"));
        const QString cache = root(QStringLiteral("cache.json"));
        const QList<AppItem> cached{item(QStringLiteral("com.old"), QStringLiteral("Old"), QStringLiteral("/Old.app"))};
        QVERIFY(InstalledAppsCache::save(cache, cached, nullptr));

        InstalledAppsService service(cache, oneBundleRoot());
        QVERIFY(service.installedApps().isEmpty());
        QVERIFY(!service.isScanning());
        QSignalSpy scanning(&service, &InstalledAppsService::isScanningChanged);
        service.refreshInstalledApps();
        QCOMPARE(service.installedApps(), cached);
        QVERIFY(service.isScanning());

        // A refresh during the scan changes nothing and starts nothing.
        service.refreshInstalledApps();
        QCOMPARE(service.installedApps(), cached);
        QVERIFY(waitForScan(service));
        QCOMPARE(scanning.count(), 2);
        QCOMPARE(identifiers(service.installedApps()), QStringList{QStringLiteral("com.mail")});
        const QUuid firstScanID = service.installedApps().first().id;
        QCOMPARE(InstalledAppsCache::load(cache, nullptr), service.installedApps());

        // A refresh with a list in hand never reads the cache; every scan makes new identifiers.
        QVERIFY(InstalledAppsCache::save(cache, cached, nullptr));
        QSignalSpy changes(&service, &InstalledAppsService::installedAppsChanged);
        service.refreshInstalledApps();
        QCOMPARE(changes.count(), 0);
        QVERIFY(waitForScan(service));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(identifiers(service.installedApps()), QStringList{QStringLiteral("com.mail")});
        QVERIFY(service.installedApps().first().id != firstScanID);
        QCOMPARE(InstalledAppsCache::load(cache, nullptr), service.installedApps());
    }

    void emptyCacheLoadsSilentlyAndAnUnwritableOneIsReported()
    {
        makeBundle(root(QStringLiteral("Applications/Mail.app")), QStringLiteral("com.mail"));
        const QString cache = root(QStringLiteral("cache.json"));
        writeFile(cache, "[]");
        InstalledAppsService silent(cache, oneBundleRoot());
        silent.refreshInstalledApps();
        QVERIFY(silent.installedApps().isEmpty());
        QVERIFY(waitForScan(silent));
        QCOMPARE(silent.installedApps().size(), 1);

        InstalledAppsService unwritable(root(QStringLiteral("no/such/folder/cache.json")), oneBundleRoot());
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to save app cache: ")));
        unwritable.refreshInstalledApps();
        QVERIFY(waitForScan(unwritable));
        QCOMPARE(identifiers(unwritable.installedApps()), QStringList{QStringLiteral("com.mail")});
    }
};

KESTROWAN_TEST_MAIN(TestInstalledApps)
#include "tst_installedapps.moc"
