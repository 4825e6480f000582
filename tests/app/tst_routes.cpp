#include "Kestrowan/app/AppDelegate.h"
#include "Kestrowan/app/KestrowanRoute.h"
#include "Kestrowan/app/LinkFile.h"
#include "Kestrowan/app/SingleInstance.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/shell/AppNavigation.h"
#include "Kestrowan/shell/AppUpdater.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/PropertyList.h"
#include "Platform/fake/FakeStatusItem.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

Q_DECLARE_METATYPE(KestrowanRoute)

namespace {

const QString someID = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");

QString writeLinkFile(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = folder + u'/' + name;
    writeBytes(path, bytes);
    return path;
}

QByteArray linkPlist(const QVariantMap &dictionary)
{
    return PropertyList::toXml(dictionary);
}

// A delegate whose callbacks write down what they were asked.
struct RecordingDelegate {
    AppDelegate delegate;
    int windowRequests = 0;
    QList<QUuid> groups;
    int settings = 0;

    void install()
    {
        delegate.reopenMainWindow = [this] { ++windowRequests; };
        delegate.navigateToGroup = [this](const QUuid &id) { groups.append(id); };
        delegate.navigateToSettings = [this] { ++settings; };
        delegate.flushPendingMainWindowRequest();
    }
};

} // namespace

class TestRoutes : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_folder;

private slots:
    void init()
    {
        StatusItem::installFactory([] { return std::make_unique<FakeStatusItem>(); });
    }

    void parseRoute_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("kind"); // -1: no route
        QTest::addColumn<QString>("id");
        const int group = int(KestrowanRoute::Kind::Group), main = int(KestrowanRoute::Kind::Main),
                  settings = int(KestrowanRoute::Kind::Settings);
        QTest::newRow("main") << "kestrowan://open/main" << main << "";
        QTest::newRow("upper case") << "KESTROWAN://OPEN/SETTINGS" << settings << "";
        QTest::newRow("group lower") << "kestrowan://open/Group/" + someID.toLower() << group << someID;
        QTest::newRow("extra parts") << "kestrowan://open/main/anything?x=1#f" << main << "";
        QTest::newRow("double slash") << "kestrowan://open//settings" << settings << "";
        QTest::newRow("no path") << "kestrowan://open" << -1 << "";
        QTest::newRow("slash only") << "kestrowan://open/" << -1 << "";
        QTest::newRow("group without id") << "kestrowan://open/group" << -1 << "";
        QTest::newRow("group bad id") << "kestrowan://open/group/x" << -1 << "";
        QTest::newRow("group braces") << "kestrowan://open/group/{" + someID + "}" << -1 << "";
        QTest::newRow("other host") << "kestrowan://other/main" << -1 << "";
        QTest::newRow("other scheme") << "https://open/main" << -1 << "";
        QTest::newRow("unknown page") << "kestrowan://open/editor" << -1 << "";
    }

    void parseRoute()
    {
        QFETCH(QString, url);
        QFETCH(int, kind);
        QFETCH(QString, id);
        const std::optional<KestrowanRoute> route = ::parseRoute(QUrl(url));
        QCOMPARE(route.has_value(), kind >= 0);
        if (!route)
            return;
        QCOMPARE(int(route->kind), kind);
        if (!id.isEmpty())
            QCOMPARE(route->groupID, QUuid::fromString(id));
    }

    void routeURLsReadBack()
    {
        const QUuid id = QUuid::createUuid();
        for (const KestrowanRoute &route : {KestrowanRoute::group(id), KestrowanRoute::main(), KestrowanRoute::settings()})
            QCOMPARE(::parseRoute(routeURL(route)), std::optional<KestrowanRoute>(route));
        QCOMPARE(routeURL(KestrowanRoute::group(id)).toString(), "kestrowan://open/group/" + ModelJson::uuidText(id));
        QCOMPARE(routeURL(KestrowanRoute::settings()).toString(), QString("kestrowan://open/settings"));
    }

    void linkFilesGoodAndBad()
    {
        const QString folder = m_folder.path();
        const QByteArray good = linkPlist({{"URL", "kestrowan://open/group/" + someID}, {"Name", "Work"}});
        QCOMPARE(readLinkFile(writeLinkFile(folder, "good.kestrowanlink", good)),
                 std::optional<KestrowanRoute>(KestrowanRoute::group(QUuid::fromString(someID))));
        QCOMPARE(readLinkFile(writeLinkFile(folder, "binary.kestrowanlink",
                                            PropertyList::toBinary(QVariantMap{{"URL", "kestrowan://open/settings"}}))),
                 std::optional<KestrowanRoute>(KestrowanRoute::settings()));

        LogCapture log;
        const QList<QByteArray> refused = {
            QByteArray("plain words, no property list"),
            linkPlist({{"URL", "kestrowan://open/main"}, {"Count", qint64(3)}}),
            linkPlist({{"URL", qint64(7)}}),
            linkPlist({{"Name", "no URL"}}),
            linkPlist({{"URL", "https://example.com"}}),
            PropertyList::toXml(QVariantList{"kestrowan://open/main"}),
        };
        for (int i = 0; i < refused.size(); ++i)
            QVERIFY2(!readLinkFile(writeLinkFile(folder, QString("bad%1.kestrowanlink").arg(i), refused.at(i))), qPrintable(QString::number(i)));
        // Larger than 1 MiB: refused before it is parsed, even with a good link inside.
        QByteArray huge = good;
        huge.append(QByteArray(1024 * 1024, ' '));
        QVERIFY(!readLinkFile(writeLinkFile(folder, "huge.kestrowanlink", huge)));
        QVERIFY(!readLinkFile(folder + "/missing.kestrowanlink"));
        QCOMPARE(log.count("^Ignored link file "), refused.size() + 2);

        QVERIFY(isLinkFileURL(QUrl::fromLocalFile(folder + "/good.kestrowanlink")));
        QVERIFY(!isLinkFileURL(QUrl::fromLocalFile(folder + "/good.KESTROWANLINK")));
    }

    void navigationNotifiesOnlyRealChanges()
    {
        AppNavigation navigation;
        QSignalSpy spy(&navigation, &AppNavigation::selectedPageChanged);
        LogCapture log;
        const QUuid id = QUuid::createUuid();
        navigation.setSelectedPage(DetailPage::group(id));
        navigation.setSelectedPage(DetailPage::group(id));
        navigation.setSelectedPage(DetailPage::settings());
        navigation.setSelectedPage(std::nullopt);
        navigation.setSelectedPage(std::nullopt);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(log.count("^Navigation selected page changed: "), 5);
        QVERIFY(DetailPage::groupDraft() == DetailPage::groupDraft());
        QVERIFY(!(DetailPage::group(id) == DetailPage::group(QUuid::createUuid())));
    }

    void aRouteBeforeTheWindowExistsArrivesAfterIt()
    {
        RecordingDelegate recording;
        LogCapture log;
        const QUuid id = QUuid::fromString(someID);
        recording.delegate.openURLs({QUrl("kestrowan://open/group/" + someID)});
        QVERIFY(recording.delegate.isMainWindowRequestPending());
        QCOMPARE(recording.delegate.pendingRoute(), std::optional<KestrowanRoute>(KestrowanRoute::group(id)));
        QCOMPARE(log.count("^Received deep link: kestrowan://open/group/"), 1);
        recording.install();
        QCOMPARE(recording.windowRequests, 1);
        QVERIFY(recording.groups.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(recording.groups, QList<QUuid>{id}, 10000);
        QCOMPARE(log.count("^Deferred group selection fired: " + someID + "$"), 1);
    }

    void aMainRouteClearsTheWaitingOne()
    {
        RecordingDelegate recording;
        recording.delegate.handleRoute(KestrowanRoute::settings());
        recording.delegate.handleRoute(KestrowanRoute::main());
        QVERIFY(!recording.delegate.pendingRoute());
        recording.install();
        QCOMPARE(recording.windowRequests, 1);
    }

    void twoLinksEndOnTheLast()
    {
        for (bool installedFirst : {false, true}) {
            RecordingDelegate recording;
            if (installedFirst)
                recording.install();
            const QString link = writeLinkFile(m_folder.path(), "group.kestrowanlink",
                                               linkPlist({{"URL", "kestrowan://open/group/" + someID}}));
            recording.delegate.openURLs({QUrl::fromLocalFile(link), QUrl("kestrowan://open/settings"),
                                         QUrl("https://example.com/ignored")});
            if (!installedFirst)
                recording.install();
            QTRY_COMPARE_WITH_TIMEOUT(recording.settings, 1, 10000);
            // Before installation the later route replaced the earlier; after it each was delivered in turn.
            QCOMPARE(recording.groups.size(), installedFirst ? 1 : 0);
        }
    }

    // An 81-character group name ends in "…" inside its entry, and the menu keeps a menu's width.
    void longGroupNamesKeepTheStatusMenuNarrow()
    {
        AppDelegate delegate;
        delegate.setUpStatusItem();
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QString(QStringLiteral("Quarterly planning & review materials for the northern region sales team 2027"))
                         .leftJustified(81, u'x');
        delegate.updateStatusMenu({group});
        QMenu *menu = delegate.statusMenu();
        menu->popup(QPoint(10, 10));
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 10000);
        QAction *entry = menu->actions().at(4);
        QVERIFY(entry->text().endsWith(QChar(0x2026)));
        QCOMPARE(entry->toolTip(), group.name);
        QVERIFY2(menu->width() <= 360, qPrintable(QString::number(menu->width())));
        const QRect box = menu->actionGeometry(entry);
        QVERIFY(menu->fontMetrics().horizontalAdvance(QString(entry->text()).replace(QStringLiteral("&&"), QStringLiteral("&"))) < box.width());
        menu->hide();
    }

    // A group renamed (a name typed key by key) changes its own entry: elided and with the whole name
    // as its tip when long, back to a plain entry when short again; the menu and its other entries stay.
    void aRenamedGroupChangesItsEntryOnly()
    {
        AppDelegate delegate;
        delegate.setUpStatusItem();
        AppGroup first;
        first.id = QUuid::createUuid();
        first.name = "Design";
        AppGroup second = first;
        second.id = QUuid::createUuid();
        second.name = "Writing";
        delegate.updateStatusMenu({first, second});
        QMenu *menu = delegate.statusMenu();
        QAction *firstEntry = menu->actions().at(4);
        QAction *secondEntry = menu->actions().at(5);

        second.name = QString(QStringLiteral("Notes & drafts ")).leftJustified(81, u'x');
        delegate.updateStatusMenu({first, second});
        QCOMPARE(delegate.statusMenu(), menu);
        QCOMPARE(menu->actions().at(4), firstEntry);
        QCOMPARE(menu->actions().at(5), secondEntry);
        QCOMPARE(firstEntry->text(), QString("Design"));
        QVERIFY(secondEntry->text().startsWith(QStringLiteral("Notes && drafts")));
        QVERIFY(secondEntry->text().endsWith(QChar(0x2026)));
        QCOMPARE(secondEntry->toolTip(), second.name);
        QCOMPARE(delegate.statusGroups().at(1).name, second.name);

        second.name = "R&D";
        delegate.updateStatusMenu({first, second});
        QCOMPARE(secondEntry->text(), QString("R&&D"));
        QCOMPARE(secondEntry->toolTip(), QString("R&D"));

        // Another order is another menu, with the entries in the new order.
        delegate.updateStatusMenu({second, first});
        QCOMPARE(delegate.statusMenu()->actions().at(4)->data().toString(), ModelJson::uuidText(second.id));
        QCOMPARE(delegate.statusMenu()->actions().at(5)->data().toString(), ModelJson::uuidText(first.id));
    }

    void theStatusMenu()
    {
        AppDelegate delegate;
        delegate.setUpStatusItem();
        QMenu *menu = delegate.statusMenu();
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 5);
        QVERIFY(menu->actions().at(3)->isSeparator());
        QCOMPARE(menu->actions().at(0)->shortcut(), QKeySequence(Qt::META | Qt::Key_G));

        AppGroup first;
        first.id = QUuid::createUuid();
        first.name = "R&D";
        AppGroup second = first;
        second.id = QUuid::createUuid();
        delegate.updateStatusMenu({first, second});
        menu = delegate.statusMenu();
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 8);
        QVERIFY(actions.at(3)->isSeparator());
        QVERIFY(actions.at(6)->isSeparator());
        QCOMPARE(actions.at(4)->text(), QString("R&&D"));
        QCOMPARE(actions.at(4)->data().toString(), ModelJson::uuidText(first.id));
        QCOMPARE(actions.at(5)->data().toString(), ModelJson::uuidText(second.id));
        QCOMPARE(static_cast<FakeStatusItem *>(delegate.statusItem())->menu(), menu);

        int windowRequests = 0;
        QList<QUuid> opened;
        delegate.reopenMainWindow = [&] { ++windowRequests; };
        delegate.navigateToGroup = [&](const QUuid &id) { opened.append(id); };
        actions.at(5)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(opened, QList<QUuid>{second.id}, 10000);
        delegate.menuOpenGroup("not a uuid");
        QCOMPARE(windowRequests, 1);
    }

    void theMenuKeysWorkWhereTheyAreShown()
    {
        RecordingDelegate recording;
        recording.delegate.setUpStatusItem();
        recording.install();
        const QList<QAction *> actions = recording.delegate.statusMenu()->actions();
        // Shown in the desktop's notation, all with the one modifier, Super: the menu never mixes
        // Super and Ctrl. The desktop's standard keys for the settings and quitting work too.
        QStringList shown;
        for (QAction *action : actions) {
            if (!action->shortcut().isEmpty()) {
                shown << action->text().section(u'\t', 1);
                QCOMPARE(action->text().section(u'\t', 1), KeyNotation::text(action->shortcut()));
            }
        }
        QCOMPARE(shown, (QStringList{QStringLiteral("Super+G"), QStringLiteral("Super+,"), QStringLiteral("Super+Q")}));
        const QKeySequence settingsKey = actions.at(1)->shortcut();
        const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
        QVERIFY(actions.last()->shortcuts().contains(quitKeys.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : quitKeys.first()));
        for (QAction *action : actions)
            QVERIFY2(!action->text().contains(QRegularExpression(QStringLiteral("[\u2318\u2325\u2303\u21E7]"))),
                     qPrintable(action->text()));

        // Typed in the open menu.
        QMenu *menu = recording.delegate.statusMenu();
        menu->popup(QPoint(200, 200));
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::keyClick(menu, Qt::Key_G, Qt::MetaModifier);
        QTRY_COMPARE_WITH_TIMEOUT(recording.windowRequests, 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!menu->isVisible(), 10000);

        // Typed in the program's window, as with a menu bar's key equivalents.
        QWidget window;
        auto *field = new QLineEdit(&window);
        window.resize(300, 100);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus();
        QTest::keyClick(field, settingsKey[0].key(), settingsKey[0].keyboardModifiers());
        QTRY_COMPARE_WITH_TIMEOUT(recording.settings, 1, 10000);
        QTest::keyClick(field, Qt::Key_G, Qt::MetaModifier);
        QTRY_COMPARE_WITH_TIMEOUT(recording.windowRequests, 3, 10000);
        // A menu rebuilt for new groups keeps its keys working there.
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Design");
        recording.delegate.updateStatusMenu({group});
        QTest::keyClick(field, Qt::Key_G, Qt::MetaModifier);
        QTRY_COMPARE_WITH_TIMEOUT(recording.windowRequests, 4, 10000);
        QCOMPARE(field->text(), QString());
    }

    void theMenuFollowsTheLanguage()
    {
        AppDelegate delegate;
        delegate.setUpStatusItem();
        LanguageManager::shared().setCurrentLanguage("ja");
        QCOMPARE(delegate.statusMenu()->actions().at(1)->text().section(u'\t', 0, 0), localized("menu.settings"));
        const QString japanese = localized("menu.settings");
        LanguageManager::shared().setCurrentLanguage("en");
        QVERIFY(delegate.statusMenu()->actions().at(1)->text().section(u'\t', 0, 0) != japanese);
        LanguageManager::shared().setCurrentLanguage("system");
    }

    void theUpdateCommandOpensSettingsThenSignals()
    {
        AppDelegate delegate;
        int settings = 0;
        QStringList sent;
        delegate.reopenMainWindow = [] {};
        delegate.navigateToSettings = [&] { ++settings; };
        delegate.sendSignal = [&](const QString &name, const QMap<QString, QString> &) { sent << name; };
        // Without an updater nothing is sent.
        delegate.menuCheckForUpdates();
        QTRY_COMPARE_WITH_TIMEOUT(settings, 1, 10000);
        QTest::qWait(AppDelegate::updateCheckDelay * 2);
        QVERIFY(sent.isEmpty());

        AppUpdater updater(AppUpdateConfiguration::fromInfoDictionary({}));
        QVERIFY(!updater.updaterController());
        delegate.setAppUpdater(&updater);
        delegate.menuCheckForUpdates();
        QTRY_COMPARE_WITH_TIMEOUT(sent, QStringList{"update.checked"}, 10000);
        QCOMPARE(settings, 2);
    }

    void updaterConfiguration()
    {
        AppUpdateConfiguration blank = AppUpdateConfiguration::fromInfoDictionary(
            {{"SUFeedURL", "   \n"}, {"SUPublicEDKey", "key"}, {"CFBundleVersion", qint64(5)}});
        QCOMPARE(blank.marketingVersion, QString("0.0.0"));
        QCOMPARE(blank.buildNumber, QString("0"));
        QVERIFY(!blank.feedURLString);
        QVERIFY(!AppUpdater(blank).updaterController());

        AppUpdateConfiguration both = AppUpdateConfiguration::fromInfoDictionary(
            {{"SUFeedURL", " https://example.com/feed.xml "}, {"SUPublicEDKey", "key"}});
        QCOMPARE(both.feedURLString, std::optional<QString>("https://example.com/feed.xml"));
        AppUpdater updater(both);
        QVERIFY(updater.updaterController());
        QVERIFY(updater.updaterController()->automaticallyChecksForUpdates());
        QCOMPARE(updater.updaterController()->updateCheckInterval(), 14400);
        QVERIFY(!updater.updaterController()->automaticallyDownloadsUpdates());

        // The shipped bundle information has a version but no feed.
        const AppUpdateConfiguration shipped = AppUpdateConfiguration::fromInfoDictionary(mainBundleInfoDictionary());
        QVERIFY(shipped.marketingVersion != "0.0.0");
        QVERIFY(!shipped.feedURLString && !shipped.publicEDKey);
    }

    void aSecondStartForwardsItsLink()
    {
        SingleInstance primary(QStringLiteral("KestrowanRoutesTest"));
        QCOMPARE(primary.claim({}), SingleInstance::Role::Primary);
        QSignalSpy received(&primary, &SingleInstance::argumentsReceived);
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KESTROWAN_TEST_SECOND_START", "1");
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(m_folder.path());
        second.start(QCoreApplication::applicationFilePath(), {"kestrowan://open/settings", "some.kestrowanlink"});
        QVERIFY(received.wait(20000));
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        const QList<QUrl> urls = received.first().first().value<QList<QUrl>>();
        QCOMPARE(urls, (QList<QUrl>{QUrl("kestrowan://open/settings"), QUrl::fromLocalFile(m_folder.path() + "/some.kestrowanlink")}));

        // A start without arguments asks for a reopen.
        second.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(received.wait(20000));
        QVERIFY(second.waitForFinished(20000));
        QVERIFY(received.last().first().value<QList<QUrl>>().isEmpty());
    }

    void garbageOnTheSocketIsDropped()
    {
        SingleInstance primary(QStringLiteral("KestrowanGarbageTest"));
        QCOMPARE(primary.claim({}), SingleInstance::Role::Primary);
        QSignalSpy received(&primary, &SingleInstance::argumentsReceived);
        QLocalSocket socket;
        socket.connectToServer(primary.socketPath());
        QVERIFY(socket.waitForConnected(10000));
        socket.write(QByteArray("\xff\xff\xff not cbor at all", 20));
        QTRY_VERIFY_WITH_TIMEOUT(socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(100), 10000);
        QCOMPARE(received.count(), 0);
    }
};

// The same executable plays the second start of the forwarding test.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet("KESTROWAN_TEST_SECOND_START")) {
        QCoreApplication app(argc, argv);
        SingleInstance instance(QStringLiteral("KestrowanRoutesTest"));
        return instance.claim(QCoreApplication::arguments().mid(1)) == SingleInstance::Role::Forwarded ? 0 : 1;
    }
    prepareIsolatedTestEnvironment("TestRoutes");
    QApplication app(argc, argv);
    TestRoutes test;
    QTEST_SET_MAIN_SOURCE_PATH
    return runTestObject(&test, argc, argv);
}

#include "tst_routes.moc"
