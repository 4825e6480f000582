// The direct reading and writing of "groups.json" against the tree-based coding of the model: the
// same bytes out, the same verdict and the same groups in, for good files and hostile ones.
#include "Kestrowan/groups/GroupsJson.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

namespace {

const QString groupID = QStringLiteral("3F2504E0-4F89-11D3-9A0C-0305E82C3301");
const QString itemID = QStringLiteral("A1B2C3D4-0000-4000-8000-00000000000A");

QByteArray treeBytes(const QList<AppGroup> &groups)
{
    return QJsonDocument(AppGroup::listToJson(groups)).toJson(QJsonDocument::Indented);
}

// A list that uses every form the file can hold.
QList<AppGroup> referenceGroups()
{
    const QUuid first = QUuid::fromString(QStringLiteral("00000000-0000-4000-8000-000000000001"));
    const QUuid second = QUuid::fromString(QStringLiteral("abcdef12-3456-4789-8abc-def012345678"));
    AppGroup work{first, QStringLiteral("Work"), {}, AppGroup::DisplayStyle::Grid, AppGroup::IconStyle::Shelf, {}, {}, {}};
    work.apps = {AppItem{QUuid::fromString(itemID), QStringLiteral("com.apple.Safari"), QStringLiteral("Safari"),
                         QStringLiteral("/Applications/Safari.app")},
                 AppItem{second, QStringLiteral("url:https://example.org/a?b=c&d=\"e\""), QStringLiteral("Link \\ back"),
                         QStringLiteral("https://example.org/a?b=c&d=\"e\"")}};
    AppGroup empty{second, QString(), {}, AppGroup::DisplayStyle::Fan, AppGroup::IconStyle::Skin, QStringLiteral("aurora"),
                   QStringLiteral(""), OpenerRules{}};
    AppGroup rich{QUuid::fromString(groupID), QStringLiteral("Ünïcode 名前 🎨\t\"tab\"\n\u0001\u007f/"), {},
                  AppGroup::DisplayStyle::List, AppGroup::IconStyle::Pelko, {}, QStringLiteral("/Applications/Preview.app"),
                  OpenerRules{{{QStringLiteral("pdf"), QStringLiteral("/Applications/Preview.app")},
                               {QStringLiteral("md"), QStringLiteral("/Applications/Typora.app")}},
                              {{itemID, QStringLiteral("/Applications/TextEdit.app")}},
                              QStringLiteral("/Applications/Finder.app")}};
    rich.apps.append(AppItem{first, QStringLiteral("file:/Users/me/Docs/Ωmega.pdf"), QStringLiteral("Ωmega.pdf"),
                             QStringLiteral("/Users/me/Docs/Ωmega.pdf")});
    return {work, empty, rich};
}

// Text drawn from the characters that need care: escapes, control characters, both halves of
// surrogate pairs (alone too), non-characters and plain letters.
QString randomText(QRandomGenerator &random)
{
    static const char16_t pool[] = {u'a', u'Z', u'0', u' ', u'"', u'\\', u'/', u'\b', u'\f', u'\n', u'\r', u'\t', 0x01, 0x1f,
                                    0x7f, 0x80, 0xe9, 0x7ff, 0x800, 0x4e2d, 0xd83c, 0xdfa8, 0xdbff, 0xdfff, 0xfffe, 0xffff,
                                    0xfeff, 0x2028};
    QString text;
    const int length = random.bounded(0, 12);
    for (int i = 0; i < length; ++i)
        text.append(QChar(pool[random.bounded(int(std::size(pool)))]));
    return text;
}

QList<AppGroup> randomGroups(QRandomGenerator &random)
{
    QList<AppGroup> groups;
    const int count = random.bounded(0, 4);
    for (int i = 0; i < count; ++i) {
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = randomText(random);
        group.displayStyle = AppGroup::DisplayStyle(random.bounded(3));
        group.iconStyle = AppGroup::IconStyle(random.bounded(6));
        for (int j = random.bounded(0, 3); j > 0; --j)
            group.apps.append(AppItem{QUuid::createUuid(), randomText(random), randomText(random), randomText(random)});
        if (random.bounded(2))
            group.skinId = randomText(random);
        if (random.bounded(2))
            group.customOpenerPath = randomText(random);
        if (random.bounded(2)) {
            OpenerRules rules;
            for (int j = random.bounded(0, 4); j > 0; --j)
                rules.byExtension.insert(randomText(random), randomText(random));
            for (int j = random.bounded(0, 3); j > 0; --j)
                rules.byItem.insert(randomText(random), randomText(random));
            if (random.bounded(2))
                rules.defaultOpener = randomText(random);
            group.openerRules = rules;
        }
        groups.append(group);
    }
    return groups;
}

QByteArray storedGroup(const QByteArray &replace = {}, const QByteArray &with = {})
{
    QByteArray group = "{\"id\": \"" + groupID.toLatin1() + "\", \"name\": \"Work\", \"apps\": [{\"id\": \"" + itemID.toLatin1()
        + "\", \"bundleIdentifier\": \"com.apple.Safari\", \"name\": \"Safari\", \"path\": \"/Applications/Safari.app\"}], "
          "\"displayStyle\": \"grid\", \"iconStyle\": \"shelf\"}";
    if (!replace.isEmpty())
        group.replace(replace, with);
    return group;
}

} // namespace

class TestGroupsJson : public QObject {
    Q_OBJECT

    static void compareWithTree(const QByteArray &bytes)
    {
        QString fastFailure;
        QString treeFailure;
        const auto fast = GroupsJson::decode(bytes, &fastFailure);
        const auto tree = GroupsJson::decodeThroughTree(bytes, &treeFailure);
        QVERIFY2(fast.has_value() == tree.has_value(), bytes.left(300).constData());
        if (fast)
            QVERIFY2(*fast == *tree, bytes.left(300).constData());
        QCOMPARE(fastFailure, treeFailure);
    }

private slots:
    void referenceListIsWrittenByteForByte()
    {
        // The file as the tree-based writer wrote it, kept beside the test.
        QFile reference(QStringLiteral(KESTROWAN_SOURCE_DIR "/tests/model/reference-groups.json"));
        if (qEnvironmentVariableIntValue("KESTROWAN_WRITE_REFERENCE_FILES") == 1) {
            QVERIFY(reference.open(QIODevice::WriteOnly));
            reference.write(treeBytes(referenceGroups()));
            reference.close();
        }
        QVERIFY(reference.open(QIODevice::ReadOnly));
        const QByteArray expected = reference.readAll();
        QCOMPARE(treeBytes(referenceGroups()), expected);
        QCOMPARE(GroupsJson::encode(referenceGroups()), expected);
        QCOMPARE(GroupsJson::encode({}), treeBytes({}));
        const auto decoded = GroupsJson::decode(expected);
        QVERIFY(decoded && *decoded == referenceGroups());
    }

    void randomGroupsMatchTheTreeBothWays()
    {
        QRandomGenerator random(1207);
        for (int round = 0; round < 400; ++round) {
            const QList<AppGroup> groups = randomGroups(random);
            const QByteArray bytes = GroupsJson::encode(groups);
            QCOMPARE(bytes, treeBytes(groups));
            compareWithTree(bytes);
        }
    }

    void hostileFilesGetTheTreeVerdict_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray good = storedGroup();
        QTest::newRow("good") << "[" + good + "]";
        QTest::newRow("empty array") << QByteArray("[]");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("object") << QByteArray("{\"groups\": []}");
        QTest::newRow("truncated") << good.left(40);
        QTest::newRow("byte order mark") << "\xEF\xBB\xBF[" + good + "]";
        QTest::newRow("unknown key with number") << "[" + storedGroup("\"name\"", "\"x\": 1, \"name\"") + "]";
        QTest::newRow("unknown key with underflow") << "[" + storedGroup("\"name\"", "\"x\": 1e-400, \"name\"") + "]";
        QTest::newRow("unknown key with huge number") << "[" + storedGroup("\"name\"", "\"x\": 1e400, \"name\"") + "]";
        QTest::newRow("number nested deep in unknown key") << "[" + storedGroup("\"name\"", "\"x\": [{\"y\": [2.4e-324]}], \"name\"") + "]";
        QTest::newRow("repeated name, last good") << "[" + storedGroup("\"name\"", "\"name\": 5, \"name\"") + "]";
        QTest::newRow("repeated name, last bad") << "[" + storedGroup("\"displayStyle\"", "\"name\": 5, \"displayStyle\"") + "]";
        QTest::newRow("repeated apps") << "[" + storedGroup("\"displayStyle\"", "\"apps\": [], \"displayStyle\"") + "]";
        QTest::newRow("repeated rule key") << "[" + storedGroup("\"displayStyle\"", "\"openerRules\": {\"byExtension\": {\"a\": 1, \"a\": \"x\"}, \"byItem\": {}}, \"displayStyle\"") + "]";
        QTest::newRow("escaped key") << "[" + storedGroup("\"name\"", "\"n\\u0061me\"") + "]";
        QTest::newRow("raw control character") << "[" + storedGroup("Work", "W\x01rk") + "]";
        QTest::newRow("raw tab") << "[" + storedGroup("Work", "W\trk") + "]";
        QTest::newRow("raw NUL") << "[" + storedGroup("Work", QByteArray("W\0rk", 4)) + "]";
        QTest::newRow("escaped NUL") << "[" + storedGroup("Work", "W\\u0000rk") + "]";
        QTest::newRow("lone surrogate escape") << "[" + storedGroup("Work", "W\\ud800rk") + "]";
        QTest::newRow("surrogate pair escape") << "[" + storedGroup("Work", "\\uD834\\uDD1E") + "]";
        QTest::newRow("unknown escape") << "[" + storedGroup("Work", "W\\xrk") + "]";
        QTest::newRow("invalid UTF-8") << "[" + storedGroup("Work", "W\xffrk") + "]";
        QTest::newRow("encoded surrogate") << "[" + storedGroup("Work", "\xed\xa0\x80") + "]";
        QTest::newRow("null skin") << "[" + storedGroup("\"name\"", "\"skinId\": null, \"name\"") + "]";
        QTest::newRow("null rules") << "[" + storedGroup("\"name\"", "\"openerRules\": null, \"name\"") + "]";
        QTest::newRow("rules with null default") << "[" + storedGroup("\"name\"", "\"openerRules\": {\"byExtension\": {}, \"byItem\": {}, \"defaultOpener\": null}, \"name\"") + "]";
        QTest::newRow("rules without byItem") << "[" + storedGroup("\"name\"", "\"openerRules\": {\"byExtension\": {}}, \"name\"") + "]";
        QTest::newRow("rule value number") << "[" + storedGroup("\"name\"", "\"openerRules\": {\"byExtension\": {\"pdf\": 1}, \"byItem\": {}}, \"name\"") + "]";
        QTest::newRow("lower-case id") << "[" + storedGroup(groupID.toLatin1(), groupID.toLower().toLatin1()) + "]";
        QTest::newRow("braced id") << "[" + storedGroup(groupID.toLatin1(), "{" + groupID.toLatin1() + "}") + "]";
        QTest::newRow("wrong-case style") << "[" + storedGroup("\"shelf\"", "\"Shelf\"") + "]";
        QTest::newRow("numeric style") << "[" + storedGroup("\"grid\"", "1") + "]";
        QTest::newRow("item not object") << "[" + storedGroup("[{", "[\"item\", {") + "]";
        QTest::newRow("trailing comma") << "[" + good + ",]";
        QTest::newRow("garbage after") << "[" + good + "] x";
        QTest::newRow("NUL after") << "[" + good + "]" + QByteArray(1, '\0');
        QTest::newRow("whitespace around") << " \r\n\t[" + good + "]\n\n";
        QTest::newRow("a number among groups") << "[" + good + ", 3]";
        QTest::newRow("deep nesting in unknown key") << "[" + storedGroup("\"name\"", "\"x\": " + QByteArray(1100, '[') + QByteArray(1100, ']') + ", \"name\"") + "]";
    }

    void hostileFilesGetTheTreeVerdict()
    {
        QFETCH(QByteArray, bytes);
        compareWithTree(bytes);
    }

    void damagedFilesGetTheTreeVerdict()
    {
        // Damage a good file at random places: a byte changed, dropped or doubled, or a token put in.
        const QByteArray good = GroupsJson::encode(referenceGroups());
        const QList<QByteArray> tokens{"1", "-0", "1e-400", "null", "\"", "\\", "{", "}", "[", "]", ",", ":", "\xff", "\\u", "true"};
        QRandomGenerator random(44);
        for (int round = 0; round < 1500; ++round) {
            QByteArray bytes = good;
            for (int change = random.bounded(1, 4); change > 0; --change) {
                const int at = random.bounded(int(bytes.size()));
                switch (random.bounded(4)) {
                case 0: bytes[at] = char(random.bounded(256)); break;
                case 1: bytes.remove(at, 1); break;
                case 2: bytes.insert(at, bytes.at(at)); break;
                default: bytes.insert(at, tokens.at(random.bounded(int(tokens.size())))); break;
                }
            }
            compareWithTree(bytes);
            if (QTest::currentTestFailed())
                return;
        }
    }
};

KESTROWAN_TEST_MAIN(TestGroupsJson)
#include "tst_groupsjson.moc"
