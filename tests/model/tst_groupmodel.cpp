#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/TypeIdentifiers.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPixmap>
#include <QTemporaryDir>

namespace {

const QString groupID = QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
const QString itemID = QStringLiteral("A1B2C3D4-0000-4000-8000-00000000000A");

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

QJsonObject storedItem()
{
    return QJsonObject{{"id", itemID}, {"bundleIdentifier", "com.apple.Safari"}, {"name", "Safari"}, {"path", "/Applications/Safari.app"}};
}

QJsonObject storedGroup()
{
    return QJsonObject{{"id", groupID}, {"name", "Work"}, {"apps", QJsonArray{storedItem()}}, {"displayStyle", "grid"}, {"iconStyle", "shelf"}};
}

AppItem item(const QString &path, const QString &name = QStringLiteral("x"))
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, name, path};
}

} // namespace

class GroupModelTest : public QObject {
    Q_OBJECT

private slots:
    void groupWithoutOptionalsHasExactlyFiveKeys()
    {
        AppGroup group{QUuid(groupID), QStringLiteral("Work"), {}, AppGroup::DisplayStyle::List, AppGroup::IconStyle::Pelko, {}, {}, {}};
        const QJsonObject json = group.toJson();
        QCOMPARE(json.keys(), (QStringList{"apps", "displayStyle", "iconStyle", "id", "name"}));
        QCOMPARE(json.value("id").toString(), groupID);
        QCOMPARE(json.value("apps").toArray().size(), 0);
        QCOMPARE(json.value("displayStyle").toString(), QStringLiteral("list"));
        QCOMPARE(json.value("iconStyle").toString(), QStringLiteral("pelko"));
    }

    void uuidsAreWrittenInUpperCase()
    {
        const QUuid id = QUuid::fromString(QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c3301"));
        QCOMPARE((AppItem{id, "b", "n", "/p"}.toJson().value("id").toString()), groupID);
        OpenerRules rules;
        AppGroup group{id, "", {}, AppGroup::DisplayStyle::Fan, AppGroup::IconStyle::Skin, "s", "", rules};
        QCOMPARE(group.toJson().value("id").toString(), groupID);
    }

    void fullGroupRoundTrips()
    {
        OpenerRules rules{{{"pdf", "/Applications/Preview.app"}}, {{itemID, "/Applications/TextEdit.app"}}, QString()};
        AppGroup group{QUuid::createUuid(), QStringLiteral("Ünïcode \"name\""),
                       {AppItem{QUuid(itemID), "url:https://x.org", "X", "https://x.org"}, item("/tmp/a.pdf")},
                       AppGroup::DisplayStyle::Fan, AppGroup::IconStyle::Skin, QStringLiteral("paper"), QString(), rules};
        const QByteArray bytes = QJsonDocument(AppGroup::listToJson({group, group})).toJson();
        const auto decoded = AppGroup::listFromJson(QJsonDocument::fromJson(bytes).array());
        QVERIFY(decoded);
        QCOMPARE(decoded->size(), 2);
        QVERIFY(decoded->at(0) == group);
        QVERIFY(decoded->at(0).openerRules->defaultOpener.has_value());
        QCOMPARE(decoded->at(0).toJson().value("openerRules").toObject().keys(), (QStringList{"byExtension", "byItem", "defaultOpener"}));
    }

    void absentAndNullOptionalsReadAsAbsent()
    {
        QJsonObject json = storedGroup();
        json.insert("skinId", QJsonValue::Null);
        json.insert("customOpenerPath", QJsonValue::Null);
        json.insert("openerRules", QJsonValue::Null);
        json.insert("unknownKey", 42);
        const auto group = AppGroup::fromJson(json);
        QVERIFY(group);
        QVERIFY(!group->skinId && !group->customOpenerPath && !group->openerRules);
        QCOMPARE(group->apps.size(), 1);

        const auto rules = OpenerRules::fromJson(parse("{\"byExtension\":{},\"byItem\":{},\"defaultOpener\":null}"));
        QVERIFY(rules && !rules->defaultOpener && rules->isEmpty());
    }

    void groupRejections_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value"); // undefined removes the key
        QTest::newRow("no name") << "name" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("null name") << "name" << QJsonValue(QJsonValue::Null);
        QTest::newRow("numeric name") << "name" << QJsonValue(3);
        QTest::newRow("no id") << "id" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("braced id") << "id" << QJsonValue("{" + groupID + "}");
        QTest::newRow("short id") << "id" << QJsonValue(groupID.left(35));
        QTest::newRow("id without hyphens") << "id" << QJsonValue(QString(groupID).remove('-'));
        QTest::newRow("non-hex id") << "id" << QJsonValue(QString(groupID).replace(0, 1, "G"));
        QTest::newRow("no apps") << "apps" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("apps not array") << "apps" << QJsonValue(QJsonObject());
        QTest::newRow("wrong-case icon style") << "iconStyle" << QJsonValue("Shelf");
        QTest::newRow("unknown icon style") << "iconStyle" << QJsonValue("neon");
        QTest::newRow("wrong-case display style") << "displayStyle" << QJsonValue("GRID");
        QTest::newRow("no display style") << "displayStyle" << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("numeric display style") << "displayStyle" << QJsonValue(1);
        QTest::newRow("numeric skin") << "skinId" << QJsonValue(7);
        QTest::newRow("custom opener is bool") << "customOpenerPath" << QJsonValue(true);
        QTest::newRow("rules not object") << "openerRules" << QJsonValue("x");
        QTest::newRow("rules without byItem") << "openerRules" << QJsonValue(parse("{\"byExtension\":{}}"));
        QTest::newRow("rule value not string") << "openerRules" << QJsonValue(parse("{\"byExtension\":{\"pdf\":1},\"byItem\":{}}"));
        QTest::newRow("default opener number") << "openerRules" << QJsonValue(parse("{\"byExtension\":{},\"byItem\":{},\"defaultOpener\":5}"));
        QTest::newRow("item without path") << "apps" << QJsonValue(QJsonArray{QJsonObject{{"id", itemID}, {"bundleIdentifier", ""}, {"name", ""}}});
        QTest::newRow("item with numeric name") << "apps" << QJsonValue(QJsonArray{QJsonObject{{"id", itemID}, {"bundleIdentifier", ""}, {"name", 1}, {"path", "/"}}});
        QTest::newRow("item with bad id") << "apps" << QJsonValue(QJsonArray{QJsonObject{{"id", "nope"}, {"bundleIdentifier", ""}, {"name", ""}, {"path", "/"}}});
        QTest::newRow("item not object") << "apps" << QJsonValue(QJsonArray{"item"});
    }

    void groupRejections()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QJsonObject json = storedGroup();
        if (value.isUndefined())
            json.remove(key);
        else
            json.insert(key, value);
        QVERIFY(!AppGroup::fromJson(json));
        // One bad group fails the whole array, even after good ones.
        QVERIFY(!AppGroup::listFromJson(QJsonArray{storedGroup(), json}));
        QVERIFY(AppGroup::listFromJson(QJsonArray{storedGroup(), storedGroup()}));
    }

    void lowerCaseUuidIsAccepted()
    {
        QJsonObject json = storedGroup();
        json.insert("id", groupID.toLower());
        const auto group = AppGroup::fromJson(json);
        QVERIFY(group);
        QCOMPARE(group->toJson().value("id").toString(), groupID);
    }

    void enumerationsListTheirCasesInOrder()
    {
        QCOMPARE(allIconStyles().size(), 6);
        QStringList raw;
        for (AppGroup::IconStyle style : allIconStyles())
            raw << iconStyleRawValue(style);
        QCOMPARE(raw, (QStringList{"shelf", "glass", "gradient", "minimal", "pelko", "skin"}));
        QCOMPARE(int(allDisplayStyles().indexOf(AppGroup::DisplayStyle::List)), 2);
        QCOMPARE(displayStyleFromRawValue("fan"), std::optional(AppGroup::DisplayStyle::Fan));
        QCOMPARE(iconStyleDisplayName(AppGroup::IconStyle::Pelko), localized("group.icon.pelko"));
    }

    void equalityComparesEveryField()
    {
        const AppItem a = item("/a"), b = item("/b");
        AppGroup group{QUuid::createUuid(), "G", {a, b}, AppGroup::DisplayStyle::Grid, AppGroup::IconStyle::Shelf, {}, {}, {}};
        AppGroup reordered = group;
        reordered.apps = {b, a};
        QVERIFY(!(group == reordered));
        AppGroup emptyOpener = group;
        emptyOpener.customOpenerPath = QString();
        QVERIFY(!(group == emptyOpener));
        AppGroup emptyRules = group;
        emptyRules.openerRules = OpenerRules();
        QVERIFY(!(group == emptyRules));

        AppItem twin = a;
        twin.id = QUuid::createUuid();
        QVERIFY(!(a == twin));
    }

    void itemKinds_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("fileURL");
        QTest::newRow("web address") << "https://example.com/a.pdf" << "link" << false;
        QTest::newRow("mail link") << "mailto:someone@example.com" << "link" << false;
        QTest::newRow("missing app") << "/Applications/Gone.APP" << "app" << true;
        QTest::newRow("desktop entry") << "/usr/share/applications/gone.desktop" << "app" << true;
        QTest::newRow("missing file") << "/nowhere/report.pdf" << "file" << true;
        QTest::newRow("relative path") << "docs/notes.txt" << "file" << true;
        QTest::newRow("path with spaces") << "/tmp/my file:1.txt" << "file" << true;
        QTest::newRow("relative with colon") << "my file:1.txt" << "file" << true;
        QTest::newRow("empty path") << "" << "file" << true;
    }

    void itemKinds()
    {
        QFETCH(QString, path);
        QFETCH(QString, kind);
        QFETCH(bool, fileURL);
        const AppItem entry = item(path);
        QCOMPARE(kindRawValue(entry.itemKind()), kind);
        QCOMPARE(entry.itemURL().isLocalFile(), fileURL);
        if (!fileURL)
            QCOMPARE(entry.itemURL().toString(), path);
    }

    void folderKindFollowsTheFileSystem()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + "/Projects.bundle";
        QVERIFY(QDir().mkpath(folder));
        const AppItem entry = item(folder);
        QCOMPARE(entry.itemKind(), AppItem::Kind::Folder);
        QVERIFY(QDir(folder).removeRecursively());
        QCOMPARE(entry.itemKind(), AppItem::Kind::File);
    }

    void iconsComeFromTheWorkspace()
    {
        auto workspace = std::make_unique<FakeWorkspace>();
        FakeWorkspace *fake = workspace.get();
        QPixmap pixmap(4, 4);
        pixmap.fill(Qt::red);
        fake->typeIcons.insert(TypeIdentifiers::genericURLType, QIcon(pixmap));
        Workspace::install(std::move(workspace));
        QVERIFY(!item("https://a.org").itemIcon().isNull());
        QVERIFY(!item("ftp://b.org/file.txt").itemIcon().isNull());
        item("/tmp/x.txt").itemIcon();
        QCOMPARE(fake->asked, (QStringList{"typeIcon:public.url", "typeIcon:public.url", "fileIcon:/tmp/x.txt"}));
        Workspace::install(nullptr);
    }
};

KESTROWAN_TEST_MAIN(GroupModelTest)
#include "tst_groupmodel.moc"
