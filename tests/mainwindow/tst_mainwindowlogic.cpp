// The pickers' staged selection and filter, the card's strip and texts, and format filling.
#include "Kestrowan/mainwindow/GroupCardContent.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/mainwindow/StagedAppSelection.h"
#include "Kestrowan/shell/Localization.h"
#include "tests/support/TestMain.h"

namespace {

AppItem app(const QString &identifier, const QString &name = {})
{
    return {QUuid::createUuid(), identifier, name.isEmpty() ? identifier : name, QStringLiteral("/Applications/") + name + QStringLiteral(".app")};
}

AppItem document(const QString &path)
{
    return {QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Doc"), path};
}

QList<AppItem> items(int count)
{
    QList<AppItem> list;
    for (int i = 0; i < count; ++i)
        list.append(app(QStringLiteral("com.app%1").arg(i)));
    return list;
}

} // namespace

class TestMainWindowLogic : public QObject {
    Q_OBJECT

private slots:
    void stagedSelectionMatchesByBundleIdentifier()
    {
        const AppItem mail = app(QStringLiteral("com.mail"));
        const AppItem notes = app(QStringLiteral("com.notes"));
        const AppItem doc = document(QStringLiteral("/tmp/a.pdf"));
        const QList<AppItem> group{mail, doc, notes};

        StagedAppSelection staged(group);
        QCOMPARE(staged.count(), 3);
        // The listed entry is another item of the same application.
        const AppItem listedMail = app(QStringLiteral("com.mail"));
        QVERIFY(staged.isSelected(listedMail.bundleIdentifier));

        // Deselecting and reselecting moves it to the end with the listed entry's identifier.
        staged.toggle(listedMail);
        QVERIFY(!staged.isSelected(QStringLiteral("com.mail")));
        staged.toggle(listedMail);
        QCOMPARE(staged.items(), QList<AppItem>({doc, notes, listedMail}));

        const AppItem maps = app(QStringLiteral("com.maps"));
        const AppItem music = app(QStringLiteral("com.music"));
        staged.toggle(maps);
        staged.toggle(music);
        QCOMPARE(staged.items(), QList<AppItem>({doc, notes, listedMail, maps, music}));
    }

    void duplicateIdentifiersLoseOneAtATime()
    {
        const AppItem first = app(QStringLiteral("com.mail"));
        const AppItem second = app(QStringLiteral("com.mail"));
        const AppItem other = app(QStringLiteral("com.other"));
        StagedAppSelection staged({first, other, second});
        staged.toggle(app(QStringLiteral("com.mail")));
        QCOMPARE(staged.items(), QList<AppItem>({other, second}));
        QVERIFY(staged.isSelected(QStringLiteral("com.mail")));
        // Identifiers are compared exactly.
        QVERIFY(!staged.isSelected(QStringLiteral("COM.MAIL")));
    }

    void filterMatchesNameOrIdentifierWithoutTrimming()
    {
        const QList<AppItem> apps{app(QStringLiteral("com.apple.mail"), QStringLiteral("Mail")),
                                  app(QStringLiteral("org.gnu.emacs"), QStringLiteral("Text Editor")),
                                  app(QStringLiteral("com.Example.Viewer"), QStringLiteral("Viewer"))};
        QCOMPARE(filterInstalledApps(apps, QString()), apps);
        QCOMPARE(filterInstalledApps(apps, QStringLiteral(" ")), QList<AppItem>{apps[1]});
        QCOMPARE(filterInstalledApps(apps, QStringLiteral("EXAMPLE")), QList<AppItem>{apps[2]});
        QCOMPARE(filterInstalledApps(apps, QStringLiteral("E")), apps);
        QCOMPARE(filterInstalledApps(apps, QStringLiteral("ed")), QList<AppItem>{apps[1]});
        QVERIFY(filterInstalledApps(apps, QStringLiteral("zzz")).isEmpty());
    }

    void cardStripShowsFiveAndCountsTheRest_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("thumbnails");
        QTest::addColumn<QString>("overflow");
        QTest::newRow("empty") << 0 << 0 << QString();
        QTest::newRow("5") << 5 << 5 << QString();
        QTest::newRow("6") << 6 << 5 << QStringLiteral("+1");
        QTest::newRow("12") << 12 << 5 << QStringLiteral("+7");
    }

    void cardStripShowsFiveAndCountsTheRest()
    {
        QFETCH(int, count);
        QFETCH(int, thumbnails);
        QFETCH(QString, overflow);
        AppGroup group;
        group.name = QStringLiteral("Work");
        group.apps = items(count);
        const GroupCardContent content = GroupCardContent::of(group);
        QCOMPARE(content.stripItems, group.apps.first(thumbnails));
        QCOMPARE(content.overflowText, overflow);
        QCOMPARE(content.countText, localized(QStringLiteral("groupList.appCount")).replace(QStringLiteral("%lld"), QString::number(count)));
    }

    void cardTextsForNamesAndStyles()
    {
        AppGroup group;
        group.displayStyle = AppGroup::DisplayStyle::Fan;
        GroupCardContent content = GroupCardContent::of(group);
        QVERIFY(content.isUntitled);
        QCOMPARE(content.displayName, localized(QStringLiteral("onboarding.group.untitled")));
        QCOMPARE(content.styleLabel, localized(QStringLiteral("group.style.fan")));
        group.name = QStringLiteral("   ");
        content = GroupCardContent::of(group);
        QVERIFY(!content.isUntitled);
        QCOMPARE(content.displayName, QStringLiteral("   "));
    }

    void formatsFillTheirArguments()
    {
        QCOMPARE(formatLocalizedText(QStringLiteral("%@, %lld items"), {QStringLiteral("Work"), 3}), QStringLiteral("Work, 3 items"));
        QCOMPARE(formatLocalizedText(QStringLiteral("%2$lld – %1$@"), {QStringLiteral("Work"), 3}), QStringLiteral("3 – Work"));
        QCOMPARE(formatLocalizedText(QStringLiteral("100%% %d%"), {5}), QStringLiteral("100% 5%"));
        QCOMPARE(formatLocalizedText(QStringLiteral("%q %@ %@"), {QStringLiteral("a")}), QStringLiteral("%q a "));
        QCOMPARE(formatLocalizedText(QStringLiteral("%5$@"), {QStringLiteral("a")}), QString());
    }
};

KESTROWAN_TEST_MAIN(TestMainWindowLogic)
#include "tst_mainwindowlogic.moc"
