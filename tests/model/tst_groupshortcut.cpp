#include "Kestrowan/groups/GroupShortcut.h"
#include "Kestrowan/groups/ShortcutKeyTable.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeKeyCharacters.h"
#include "tests/support/TestMain.h"

#include <QJsonDocument>

namespace {

const QUuid first = QUuid::fromString(QStringLiteral("11111111-2222-4333-8444-555555555555"));
const QUuid second = QUuid::fromString(QStringLiteral("AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE"));

QByteArray storedData()
{
    return UserDefaults::standard().data(groupShortcutsDefaultsKey);
}

} // namespace

class GroupShortcutTest : public QObject {
    Q_OBJECT

    FakeKeyCharacters *m_keys = nullptr;

private slots:
    void init()
    {
        auto keys = std::make_unique<FakeKeyCharacters>();
        m_keys = keys.get();
        KeyCharacters::install(std::move(keys));
        UserDefaults::standard().remove(groupShortcutsDefaultsKey);
    }

    void displayText_data()
    {
        QTest::addColumn<quint64>("modifiers");
        QTest::addColumn<int>("keyCode");
        QTest::addColumn<QString>("text");
        // The desktop's notation: Qt's native words and order, the Super key by its name.
        QTest::newRow("control digit") << quint64(0x40000) << 18 << "Ctrl+1";
        QTest::newRow("shift command letter") << quint64(0x120000) << 0 << "Super+Shift+A";
        QTest::newRow("option letter") << quint64(0x80000 | 0x40000) << 2 << "Ctrl+Alt+D";
        QTest::newRow("no modifiers") << quint64(0) << 53 << "Esc";
        QTest::newRow("all four in fixed order") << quint64(0x100000 | 0x20000 | 0x80000 | 0x40000) << 126 << "Super+Ctrl+Alt+Shift+↑";
        QTest::newRow("other bits ignored") << quint64(0x40000 | 0x800000 | 0x1) << 49 << "Ctrl+Space";
        QTest::newRow("digits out of order") << quint64(0x40000) << 22 << "Ctrl+6";
    }

    void displayText()
    {
        QFETCH(quint64, modifiers);
        QFETCH(int, keyCode);
        QFETCH(QString, text);
        QCOMPARE((GroupShortcut{first, quint16(keyCode), modifiers}.displayString()), text);
    }

    void keysOutsideTheTable()
    {
        m_keys->characters.insert(24, "=");
        m_keys->characters.insert(42, "ü");
        m_keys->characters.insert(10, "");
        QCOMPARE(keyNameForKeyCode(24), QStringLiteral("="));
        QCOMPARE(keyNameForKeyCode(42), QStringLiteral("Ü"));
        // A key whose event types nothing is still named, so no shortcut ends in a bare "+".
        QCOMPARE(keyNameForKeyCode(10), QStringLiteral("Key10"));
        QCOMPARE((GroupShortcut{first, 10, GroupShortcut::controlModifier}.displayString()), QStringLiteral("Ctrl+Key10"));
        QCOMPARE(keyNameForKeyCode(122), QStringLiteral("Key122"));
        // Table keys never ask the platform.
        m_keys->characters.insert(0, "q");
        QCOMPARE(keyNameForKeyCode(0), QStringLiteral("A"));
    }

    void tableHasExactlyItsCodes()
    {
        int named = 0;
        for (int code = 0; code < 200; ++code) {
            if (!keyNameForKeyCode(quint16(code)).startsWith(QLatin1String("Key")))
                ++named;
        }
        QCOMPARE(named, 45);
    }

    void savesCompactJsonInListOrder()
    {
        saveShortcuts({GroupShortcut{second, 19, 0x40000}, GroupShortcut{first, 65535, 0x1A0000}});
        QCOMPARE(storedData(), QByteArray("[{\"groupID\":\"AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE\",\"keyCode\":19,\"modifierRawValue\":262144},"
                                          "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":65535,\"modifierRawValue\":1703936}]"));
        const QList<GroupShortcut> loaded = loadShortcuts();
        QCOMPARE(loaded.size(), 2);
        QVERIFY(loaded.at(0) == (GroupShortcut{second, 19, 0x40000}));
        QVERIFY(loaded.at(1) == (GroupShortcut{first, 65535, 0x1A0000}));
    }

    void emptyListRoundTrips()
    {
        saveShortcuts({});
        QCOMPARE(storedData(), QByteArray("[]"));
        QVERIFY(loadShortcuts().isEmpty());
    }

    void unreadableStoreGivesEmptyListAndIsKept_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("not JSON") << QVariant(QByteArray("garbage{"));
        QTest::newRow("not an array") << QVariant(QByteArray("{\"groupID\":1}"));
        QTest::newRow("a string, not data") << QVariant(QStringLiteral("[]"));
        QTest::newRow("a number") << QVariant(qint64(5));
    }

    void unreadableStoreGivesEmptyListAndIsKept()
    {
        QFETCH(QVariant, stored);
        UserDefaults::standard().setValue(groupShortcutsDefaultsKey, stored);
        QVERIFY(loadShortcuts().isEmpty());
        QCOMPARE(UserDefaults::standard().value(groupShortcutsDefaultsKey), stored);
        UserDefaults::standard().remove(groupShortcutsDefaultsKey);
        QVERIFY(loadShortcuts().isEmpty());
    }

    void badElementsAreSkippedNotTheWholeList()
    {
        const QByteArray good1 = "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":18,\"modifierRawValue\":262144}";
        const QByteArray good2 = "{\"groupID\":\"aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee\",\"keyCode\":19,\"modifierRawValue\":262144}";
        const QList<QByteArray> bad{
            "{\"groupID\":\"not-a-uuid\",\"keyCode\":1,\"modifierRawValue\":0}",
            "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":65536,\"modifierRawValue\":0}",
            "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":-1,\"modifierRawValue\":0}",
            "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":1.5,\"modifierRawValue\":0}",
            "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":true,\"modifierRawValue\":0}",
            "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":1}",
            "{\"groupID\":\"11111111-2222-4333-8444-555555555555\",\"keyCode\":1,\"modifierRawValue\":-4}",
            "\"Ctrl+1\"",
            "null",
        };
        QByteArray list = "[" + good1;
        for (const QByteArray &element : bad)
            list += "," + element;
        list += "," + good2 + "]";
        UserDefaults::standard().setValue(groupShortcutsDefaultsKey, list);
        const QList<GroupShortcut> loaded = loadShortcuts();
        QCOMPARE(loaded.size(), 2);
        QCOMPARE(loaded.at(0).keyCode, quint16(18));
        QCOMPARE(loaded.at(1).groupID, second);
        QCOMPARE(storedData(), list); // loading never rewrites the store
    }
};

KESTROWAN_TEST_MAIN(GroupShortcutTest)
#include "tst_groupshortcut.moc"
