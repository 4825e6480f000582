#include "Kestrowan/groups/DockReader.h"
#include "Platform/fake/FakeRunningApplications.h"
#include "tests/docktiles/DockTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

using DockApp = DockReader::DockApp;
using Policy = RunningApplication::ActivationPolicy;

namespace {

QVariantMap appEntry(const QVariant &bundleIdentifier, const QVariant &label, const QVariant &urlString)
{
    QVariantMap data;
    if (bundleIdentifier.isValid())
        data.insert(QStringLiteral("bundle-identifier"), bundleIdentifier);
    if (label.isValid())
        data.insert(QStringLiteral("file-label"), label);
    if (urlString.isValid())
        data.insert(QStringLiteral("file-data"), QVariantMap{{QStringLiteral("_CFURLString"), urlString},
                                                             {QStringLiteral("_CFURLStringType"), qint64(15)}});
    return {{QStringLiteral("tile-type"), QStringLiteral("file-tile")}, {QStringLiteral("tile-data"), data}};
}

} // namespace

class TestDockReader : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_apps;
    FakeRunningApplications *m_workspace = nullptr;

    QString makeApp(const QString &name)
    {
        const QString path = m_apps->path() + QLatin1Char('/') + name;
        QDir().mkpath(path + QStringLiteral("/Contents"));
        return path;
    }
    QString urlOf(const QString &path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QLatin1Char('/'); }
    RunningApplication running(const QString &bundleIdentifier, const QString &name, const QString &path, Policy policy = Policy::Regular)
    {
        RunningApplication app;
        app.bundleIdentifier = bundleIdentifier;
        app.localizedName = name;
        app.bundlePath = path;
        app.activationPolicy = policy;
        return app;
    }
    void storeApps(const QVariantList &entries, const QVariantList &others = {})
    {
        writeDockFile({{QStringLiteral("persistent-apps"), entries}, {QStringLiteral("persistent-others"), others}});
    }

private slots:
    void init()
    {
        QFile::remove(dockFilePath());
        m_apps = std::make_unique<QTemporaryDir>();
        auto workspace = std::make_unique<FakeRunningApplications>();
        m_workspace = workspace.get();
        RunningApplications::install(std::move(workspace));
    }

    void cleanup() { RunningApplications::install(nullptr); }

    void dockAppsComeFirstThenRegularRunningApps()
    {
        const QString mail = makeApp(QStringLiteral("Mail.app"));
        const QString notes = makeApp(QStringLiteral("My Notes.app"));
        const QString term = makeApp(QStringLiteral("Terminal.app"));
        const QString helper = makeApp(QStringLiteral("Helper.app"));
        const QString daemon = makeApp(QStringLiteral("Daemon.app"));
        storeApps({appEntry(QStringLiteral("com.mail"), QStringLiteral("Mail (Dock)"), urlOf(mail)),
                   appEntry(QStringLiteral("com.notes"), QVariant(), urlOf(notes)),
                   appEntry(QStringLiteral("com.mail"), QStringLiteral("Second Mail"), urlOf(notes))},
                  {appEntry(QStringLiteral("com.folder"), QStringLiteral("Folder"), urlOf(m_apps->path()))});
        m_workspace->running = {running(QStringLiteral("com.term"), QStringLiteral("Terminal"), term),
                                running(QStringLiteral("com.mail"), QStringLiteral("Mail"), mail),
                                running(QStringLiteral("com.helper"), QStringLiteral("Helper"), helper, Policy::Accessory),
                                running(QStringLiteral("com.daemon"), QStringLiteral("Daemon"), daemon, Policy::Prohibited),
                                running(QString(), QStringLiteral("No identifier"), term),
                                running(QStringLiteral("com.nopath"), QStringLiteral("No path"), QString()),
                                running(QStringLiteral("com.gone"), QStringLiteral("Gone"), m_apps->path() + QStringLiteral("/Gone.app")),
                                running(QStringLiteral("com.unnamed"), QString(), term),
                                running(QStringLiteral("com.term"), QStringLiteral("Terminal again"), term)};

        QCOMPARE(DockReader::dockApps(), (QList<DockApp>{{QStringLiteral("com.mail"), QStringLiteral("Mail (Dock)"), mail},
                                                         {QStringLiteral("com.notes"), QStringLiteral("com.notes"), notes},
                                                         {QStringLiteral("com.term"), QStringLiteral("Terminal"), term},
                                                         {QStringLiteral("com.unnamed"), QStringLiteral("com.unnamed"), term}}));
    }

    void dockEntriesAreLocatedByTheirURLFirst()
    {
        const QString elsewhere = makeApp(QStringLiteral("Elsewhere/Safari.app"));
        const QString viaWorkspace = makeApp(QStringLiteral("Found.app"));
        m_workspace->installedPaths = {{QStringLiteral("com.safari"), elsewhere},
                                       {QStringLiteral("com.found"), viaWorkspace},
                                       {QStringLiteral("com.ghost"), m_apps->path() + QStringLiteral("/Ghost.app")}};
        storeApps({// Points at a copy that was deleted: left out although the workspace knows another.
                   appEntry(QStringLiteral("com.safari"), QStringLiteral("Safari"), urlOf(m_apps->path() + QStringLiteral("/Safari.app"))),
                   appEntry(QStringLiteral("com.found"), QStringLiteral("Found"), QVariant()),
                   appEntry(QStringLiteral("com.unknown"), QStringLiteral("Unknown"), QVariant()),
                   appEntry(QStringLiteral("com.ghost"), QStringLiteral("Ghost"), QVariant()),
                   appEntry(QVariant(), QStringLiteral("No identifier"), urlOf(viaWorkspace)),
                   appEntry(qint64(4), QStringLiteral("Number"), urlOf(viaWorkspace)),
                   QVariantMap{{QStringLiteral("tile-data"), QStringLiteral("not a dictionary")}}});

        QCOMPARE(DockReader::dockApps(), (QList<DockApp>{{QStringLiteral("com.found"), QStringLiteral("Found"), viaWorkspace}}));
    }

    void unreadableDockListsLeaveTheRunningAppsAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("garbage") << QByteArray("bplist00 garbage");
        QTest::newRow("apps not a list") << QByteArray("<plist><dict><key>persistent-apps</key><string>x</string></dict></plist>");
        QTest::newRow("list holds a string")
            << QByteArray("<plist><dict><key>persistent-apps</key><array><dict/><string>x</string></array></dict></plist>");
    }

    void unreadableDockListsLeaveTheRunningAppsAlone()
    {
        QFETCH(QByteArray, bytes);
        if (!bytes.isEmpty())
            writeDockBytes(bytes);
        const QString term = makeApp(QStringLiteral("Terminal.app"));
        m_workspace->running = {running(QStringLiteral("com.term"), QStringLiteral("Terminal"), term)};
        QCOMPARE(DockReader::dockApps(), (QList<DockApp>{{QStringLiteral("com.term"), QStringLiteral("Terminal"), term}}));
    }

    void itemsCopyTheAppsWithFreshIdentifiers()
    {
        const QList<DockApp> apps{{QStringLiteral("com.a"), QStringLiteral("A"), QStringLiteral("/x/A.app")},
                                  {QStringLiteral("com.b"), QStringLiteral("B"), QStringLiteral("/x/B.app")},
                                  {QStringLiteral("com.a"), QStringLiteral("A"), QStringLiteral("/x/A.app")}};
        const QList<AppItem> items = DockReader::appItemsFromDockApps(apps);
        QCOMPARE(items.size(), 3);
        QSet<QUuid> identifiers;
        for (qsizetype i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i].bundleIdentifier, apps[i].bundleIdentifier);
            QCOMPARE(items[i].name, apps[i].name);
            QCOMPARE(items[i].path, apps[i].path);
            QVERIFY(!items[i].id.isNull());
            identifiers.insert(items[i].id);
        }
        QCOMPARE(identifiers.size(), 3);
        QVERIFY(DockReader::appItemsFromDockApps({}).isEmpty());
    }
};

KESTROWAN_TEST_MAIN(TestDockReader)
#include "tst_dockreader.moc"
