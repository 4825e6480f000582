#include "Kestrowan/shell/StringsTable.h"
#include "tests/support/TestMain.h"

#include <QStringEncoder>
#include <QTemporaryDir>

class TestStringsTable : public QObject {
    Q_OBJECT
private slots:
    void parsesEntriesCommentsAndEscapes()
    {
        const QByteArray text = "/* Header comment\n"
"   spanning lines */\n"
"\"menu.settings\" = \"Settings…\";   // trailing comment\n"
"\"quote\" = \"She said \\\"hi\\\"\\n\\tand left \\\\ now\";\n"
"bare.key = \"bare\";\n"
"\"unicode\" = \"\\U00e9t\\u00E9\";\n"
"\"octal\" = \"a\\101b\";\n"
"\"shorthand\";\n"
"\"multi\" =\n"
"   \"value on next line\";\n"
"";
        const StringsTable table = StringsTable::parse(text);
        QCOMPARE(table.errorCount, 0);
        QCOMPARE(table.entries.value("menu.settings"), QString::fromUtf8("Settings…"));
        QCOMPARE(table.entries.value("quote"), QString("She said \"hi\"\n\tand left \\ now"));
        QCOMPARE(table.entries.value("bare.key"), QString("bare"));
        QCOMPARE(table.entries.value("unicode"), QString::fromUtf8("été"));
        QCOMPARE(table.entries.value("octal"), QString("aAb"));
        QCOMPARE(table.entries.value("shorthand"), QString("shorthand"));
        QCOMPARE(table.entries.value("multi"), QString("value on next line"));
        QCOMPARE(table.entries.size(), 7);
    }

    void decodesUtf16WithByteOrderMarkAndUtf8Bom()
    {
        const QString text = QString::fromUtf8("\"greeting\" = \"こんにちは\";\n");
        QStringEncoder le(QStringConverter::Utf16LE);
        QStringEncoder be(QStringConverter::Utf16BE);
        const QByteArray littleEndian = QByteArray("\xFF\xFE") + QByteArray(le.encode(text));
        const QByteArray bigEndian = QByteArray("\xFE\xFF") + QByteArray(be.encode(text));
        const QByteArray utf8Bom = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
        for (const QByteArray &bytes : {littleEndian, bigEndian, utf8Bom}) {
            const StringsTable table = StringsTable::parse(bytes);
            QCOMPARE(table.errorCount, 0);
            QCOMPARE(table.entries.value("greeting"), QString::fromUtf8("こんにちは"));
        }
    }

    void damagedEntriesCostOnlyThemselves()
    {
        const QByteArray text = "\"first\" = \"one\";\n"
"\"missing.semicolon\" = \"two\"\n"
"\"third\" = \"three\";\n"
"\"no.equals\" \"x\";\n"
"\"fourth\" = \"four\";\n"
"= \"orphan value\";\n"
"\"fifth\" = \"five\";\n"
"";
        const StringsTable table = StringsTable::parse(text);
        QCOMPARE(table.errorCount, 3);
        QVERIFY(table.firstError.startsWith("line 2"));
        QCOMPARE(table.entries.value("first"), QString("one"));
        QCOMPARE(table.entries.value("third"), QString("three"));
        QCOMPARE(table.entries.value("fourth"), QString("four"));
        QCOMPARE(table.entries.value("fifth"), QString("five"));
        QVERIFY(!table.entries.contains("missing.semicolon"));
    }

    void survivesGarbage()
    {
        const QList<QByteArray> inputs = {
            QByteArray(), QByteArray("\"unterminated = \"x;"), QByteArray("/* never closed"),
            QByteArray("\"k\" = \"v\\"), QByteArray("\"k\" = \"\\U12\";"), QByteArray(4096, '\xff'),
            QByteArray("\x00\x01\x02\"a\"=\"b\";", 12),
        };
        for (const QByteArray &bytes : inputs)
            StringsTable::parse(bytes); // must not crash or hang
        QByteArray random;
        quint32 state = 12345;
        for (int i = 0; i < 20000; ++i) {
            state = state * 1103515245 + 12345;
            random.append("\"=;\\/*\n a"[(state >> 16) % 10]);
        }
        StringsTable::parse(random);
    }

    void loadLogsOnceForADamagedFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Localizable.strings");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"a\" = \"1\"\n\"b\" = ;\n\"c\" = \"3\";\n\"d\" \"4\";\n");
        file.close();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("has 3 syntax error\\(s\\)"));
        const StringsTable table = StringsTable::load(path);
        QCOMPARE(table.entries.value("c"), QString("3"));
        QCOMPARE(StringsTable::load(dir.filePath("absent.strings")).entries.size(), 0);
    }
};

KESTROWAN_TEST_MAIN(TestStringsTable)
#include "tst_strings_table.moc"
