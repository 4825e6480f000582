// The property-list reader refuses what would crash, hang or exhaust the process, and a change of one
// key writes every other value back exactly as it was stored.
#include "Platform/PropertyList.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/support/BinaryPlistBuilder.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QRegularExpression>
#include <QtEndian>

#include <limits>

namespace {

QByteArray dateBytes(double secondsSince2001)
{
    QByteArray bytes(9, '\x33');
    qToBigEndian(secondsSince2001, bytes.data() + 1);
    return bytes;
}

// What our writer makes of a file when it changes nothing: libplist lays objects out in its own
// order, so this, not the original, is what later writes must reproduce.
QByteArray settled(const QByteArray &bytes)
{
    return PropertyList::withKeyReplaced(bytes, QStringLiteral("settled"), true).value_or(QByteArray());
}

} // namespace

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What an XML reader of another program makes of the bytes: binary ones are not its business.
bool isWellFormedWhereXml(const QByteArray &bytes)
{
    if (bytes.startsWith("bplist"))
        return true;
    QXmlStreamReader reader(bytes);
    while (!reader.atEnd())
        reader.readNext();
    return !reader.hasError();
}

class TestPropertyList : public QObject {
    Q_OBJECT

private slots:
    void hostileFilesAreRefusedWithOneLine_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("NUL in XML") << HostileFiles::nulInXmlString() << QStringLiteral("NUL byte");
        {
            BinaryPlistBuilder b;
            QTest::newRow("byte above 127 in an ASCII key") << b.build(b.dict({{b.ascii("sho\xf7" "as"), b.integer(2)}})) << QStringLiteral("above 127");
        }
        {
            BinaryPlistBuilder b;
            QTest::newRow("lone surrogate") << b.build(b.array({b.utf16(QStringLiteral("a") + QChar(0xD800) + QStringLiteral("b"))}))
                                            << QStringLiteral("lone surrogate");
        }
        QTest::newRow("24 levels of shared references") << HostileFiles::sharedReferences(24) << QStringLiteral("more than 250000 values");
        QTest::newRow("64 levels of shared references") << HostileFiles::sharedReferences(64) << QStringLiteral("more than 250000 values");
        QTest::newRow("a 64 KiB string named 2000 times") << HostileFiles::sharedLargeString(64 * 1024, 2000)
                                                         << QStringLiteral("bytes once its shared objects are expanded");
        QTest::newRow("a 512 KiB data value named 2000 times") << HostileFiles::sharedLargeData(512 * 1024, 2000)
                                                               << QStringLiteral("bytes once its shared objects are expanded");
        QTest::newRow("87000 nested arrays") << HostileFiles::nestedArrays(87000) << QStringLiteral("deeper than 256");
        QTest::newRow("257 nested arrays") << HostileFiles::nestedArrays(257) << QStringLiteral("deeper than 256");
        QTest::newRow("a cycle") << HostileFiles::cycle() << QStringLiteral("holds itself");
        QByteArray deepXml = "<?xml version=\"1.0\"?><plist version=\"1.0\">" + QByteArray("<array>").repeated(5000)
                             + QByteArray("</array>").repeated(5000) + "</plist>";
        QTest::newRow("deep XML") << deepXml << QStringLiteral("deeper than 256");
        const auto xmlString = [](const QByteArray &text) {
            return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>label</key><string>" + text
                + "</string></dict></plist>";
        };
        QTest::newRow("XML naming a lone high surrogate") << xmlString("x&#xD800;y") << QStringLiteral("lone surrogate");
        QTest::newRow("XML naming a lone surrogate in decimal") << xmlString("&#55296;") << QStringLiteral("lone surrogate");
        QTest::newRow("XML naming a low surrogate first") << xmlString("&#xDE00;&#xD83D;") << QStringLiteral("lone surrogate");
        QTest::newRow("XML naming a high surrogate before a letter") << xmlString("&#xD83D;&#x41;") << QStringLiteral("lone surrogate");
        QTest::newRow("XML that is not UTF-8")
            << QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>spacer-\xf4ile</string></array></plist>")
            << QStringLiteral("not UTF-8");
        QByteArray badReference = HostileFiles::nestedArrays(3);
        badReference[10] = '\x7f'; // the second array's one reference, to an object that does not exist
        QTest::newRow("reference to no object") << badReference << QStringLiteral("reference to no object");
    }

    void hostileFilesAreRefusedWithOneLine()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QVERIFY(bytes.size() < 1024 * 1024);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused a .* property list of \\d+ bytes: .*") + reason));
        QCOMPARE(PropertyList::parse(bytes), std::nullopt);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused a ")));
        QCOMPARE(PropertyList::withKeyReplaced(bytes, QStringLiteral("k"), 1), std::nullopt);
    }

    // U+0000 is a character like any other in a binary list's strings, keys included: read whole,
    // written back as stored, and written whole where the program sets such a value itself.
    void stringsHoldingUPlus0000AreReadAndWrittenWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        const QString utf16Text = QStringLiteral("http://x\u00e9") + QChar(0) + QStringLiteral("y");
        const QString asciiText = QString::fromLatin1(QByteArray("http://x\0y", 10));
        QTest::newRow("ASCII string") << HostileFiles::nulInAsciiString() << QStringLiteral("URL") << asciiText;
        QTest::newRow("UTF-16 string") << HostileFiles::nulInUtf16String() << QStringLiteral("URL") << utf16Text;
        QTest::newRow("ASCII key") << HostileFiles::nulInAsciiKey() << asciiText << QStringLiteral("http://example.org/");
        QTest::newRow("UTF-16 key") << HostileFiles::nulInUtf16Key() << utf16Text << QStringLiteral("http://example.org/");
    }

    void stringsHoldingUPlus0000AreReadAndWrittenWhole()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const std::optional<QVariant> read = PropertyList::parse(bytes);
        QVERIFY(read);
        QCOMPARE(read->toMap(), (QVariantMap{{key, value}}));

        // Another key changed: the string goes back as it was stored, in both writers.
        const std::optional<QByteArray> changed = PropertyList::withTopLevelChanges(bytes, {{QStringLiteral("mine"), 1}});
        QVERIFY(changed);
        QCOMPARE(PropertyList::parse(*changed)->toMap(), (QVariantMap{{key, value}, {QStringLiteral("mine"), qint64(1)}}));
        const std::optional<QByteArray> replaced = PropertyList::withKeyReplaced(bytes, QStringLiteral("mine"), 1);
        QVERIFY(replaced);
        QCOMPARE(PropertyList::parse(*replaced)->toMap(), (QVariantMap{{key, value}, {QStringLiteral("mine"), qint64(1)}}));

        // Set here, in a list and a dictionary, beside a text that only looks alike.
        const QVariantMap mine{{QStringLiteral("list"), QVariantList{value, value + QStringLiteral("!"), QStringLiteral("plain")}},
                               {QStringLiteral("nested"), QVariantMap{{key, value}}}};
        QVERIFY(!PropertyList::fitsXml(mine));
        QCOMPARE(PropertyList::parse(PropertyList::toStoredForm(mine))->toMap(), mine);
        const std::optional<QByteArray> both = PropertyList::withTopLevelChanges(bytes, mine);
        QVERIFY(both);
        QVariantMap expected = mine;
        expected.insert(key, value);
        QCOMPARE(PropertyList::parse(*both)->toMap(), expected);
    }

    void filesJustInsideTheBoundsAreRead()
    {
        const std::optional<QVariant> deep = PropertyList::parse(HostileFiles::nestedArrays(200));
        QVERIFY(deep);
        int depth = 0;
        for (QVariant v = *deep; v.typeId() == QMetaType::QVariantList && !v.toList().isEmpty(); v = v.toList().first())
            ++depth;
        QCOMPARE(depth, 199);
        // 2^16 leaves: 131071 values once expanded, and still allowed; one level more is not.
        QVERIFY(PropertyList::parse(HostileFiles::sharedReferences(16)));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("more than 250000 values")));
        QVERIFY(!PropertyList::parse(HostileFiles::sharedReferences(17)));
        // XML is held to the same count of values, keys included: 124,000 entries (about 248,000 values)
        // are read, 126,000 are not.
        const std::optional<QVariant> manyKeys = PropertyList::parse(HostileFiles::xmlDockFileOfManyKeys(124000));
        QVERIFY(manyKeys);
        QCOMPARE(manyKeys->toMap().value(QStringLiteral("recorded-positions")).toMap().size(), 124000);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused a XML .*more than 250000 values")));
        QVERIFY(!PropertyList::parse(HostileFiles::xmlDockFileOfManyKeys(126000)));
        // A 64 KiB string named 400 times reads as about 50 MiB, still allowed; named 600 times it is not.
        const std::optional<QVariant> named = PropertyList::parse(HostileFiles::sharedLargeString(64 * 1024, 400));
        QVERIFY(named);
        QCOMPARE(named->toList().size(), 400);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("bytes once its shared objects are expanded")));
        QVERIFY(!PropertyList::parse(HostileFiles::sharedLargeString(64 * 1024, 600)));
    }

    void datesAreReadToTheMillisecondWithoutDrift()
    {
        BinaryPlistBuilder b;
        const int top = b.array({b.date(721692800.107034), b.date(-3187296000.0), b.date(3124137600.5), b.date(-63158399.75)});
        const QVariantList dates = PropertyList::parse(b.build(top))->toList();
        QCOMPARE(dates.at(0).toDateTime(), QDateTime::fromMSecsSinceEpoch(1700000000107LL, Qt::UTC));
        QCOMPARE(dates.at(1).toDateTime(), QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC));
        QCOMPARE(dates.at(2).toDateTime(), QDateTime(QDate(2100, 1, 1), QTime(0, 0, 0, 500), Qt::UTC));
        QCOMPARE(dates.at(3).toDateTime(), QDateTime(QDate(1999, 1, 1), QTime(0, 0, 0, 250), Qt::UTC));
        // Written from milliseconds and read again, a date stays the same time.
        QVariant again = dates;
        for (int round = 0; round < 3; ++round)
            again = *PropertyList::parse(PropertyList::toBinary(again));
        QCOMPARE(again.toList(), dates);
    }

    void changingOneKeyKeepsEveryOtherValueByteForByte()
    {
        const QByteArray original = HostileFiles::awkwardValues();
        const QByteArray first = settled(original);
        QVERIFY(!first.isEmpty());
        // What the program reads of the file and writes back unchanged is the same file.
        const QVariantMap domain = PropertyList::parse(first)->toMap();
        QVariant roundTrip = first;
        for (auto it = domain.cbegin(); it != domain.cend(); ++it)
            roundTrip = *PropertyList::withKeyReplaced(roundTrip.toByteArray(), it.key(), it.value());
        QCOMPARE(roundTrip.toByteArray(), first);

        QVERIFY(first.contains(dateBytes(-3187296000.0))); // 1900
        QVERIFY(first.contains(dateBytes(3124137600.5))); // 2100
        QVERIFY(first.contains(dateBytes(-63158399.75))); // 1999 with a fraction
        QVERIFY(first.contains(dateBytes(721692800.107034)));
        QVERIFY(first.contains(QByteArray(1, '\x14') + QByteArray(8, '\0') + QByteArray(8, '\xff'))); // 2^64 - 1
        QVERIFY(first.contains(QByteArray("\x80\x4d", 2))); // UID 77
        QVERIFY(first.indexOf("zeta-first") < first.indexOf("alpha"));
        QVERIFY(std::isnan(domain.value(QStringLiteral("not-a-number")).toDouble()));
        QCOMPARE(domain.value(QStringLiteral("uid")).value<PropertyList::Uid>().value, 77u);

        // A changed key changes only itself.
        const QByteArray changed = *PropertyList::withKeyReplaced(first, QStringLiteral("alpha"), false);
        QVariantMap expected = domain;
        expected.insert(QStringLiteral("alpha"), false);
        QVERIFY(PropertyList::sameValue(*PropertyList::parse(changed), expected));
        QVERIFY(changed.contains(dateBytes(-3187296000.0)));
        QVERIFY(changed.indexOf("zeta-first") < changed.indexOf("alpha"));
    }

    void aDockFileIsWrittenOnlySoThatItReadsBack()
    {
        const QString path = DockPreferencesFile::filePath();
        const auto dockFile = [](const QByteArray &label) {
            return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>persistent-apps</key><array>"
                   "<dict><key>tile-data</key><dict><key>file-label</key><string>"
                + label + "</string></dict></dict></array><key>tilesize</key><integer>48</integer></dict></plist>\n";
        };
        DockPreferencesFile dock;
        // A lone surrogate would be read, but what a write made of it would not read back.
        const QByteArray lone = dockFile("Mail &#xD800;");
        QVERIFY(writeTestFile(path, lone));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused a XML property list .*lone surrogate")));
        QCOMPARE(dock.read(), std::nullopt);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Refused a XML property list .*lone surrogate")));
        QVERIFY(!dock.write(QStringLiteral("autohide"), true));
        QCOMPARE(readTestFile(path), lone);
        // A pair of them names one character, and a write keeps it.
        QVERIFY(writeTestFile(path, dockFile("Mail &#xD83D;&#xDE00;")));
        QVERIFY(dock.read());
        QVERIFY(dock.write(QStringLiteral("autohide"), true));
        const std::optional<QVariantMap> written = dock.read();
        QVERIFY(written);
        QCOMPARE(written->value(QStringLiteral("autohide")), QVariant(true));
        QCOMPARE(written->value(QStringLiteral("tilesize")).toLongLong(), 48);
    }

    void emptyBytesAreAnEmptyDictionaryToWriteInto()
    {
        const std::optional<QByteArray> bytes = PropertyList::withKeyReplaced(QByteArray(), QStringLiteral("k"), QStringLiteral("v"));
        QVERIFY(bytes);
        QCOMPARE(*PropertyList::parse(*bytes), QVariant(QVariantMap{{QStringLiteral("k"), QStringLiteral("v")}}));
        QCOMPARE(PropertyList::withKeyReplaced(PropertyList::toBinary(QVariantList{}), QStringLiteral("k"), 1), std::nullopt);
    }

    // Another program's values in the settings file: what the settings writer does not know itself
    // is written back as it was read, in a file that every reader takes.
    void theSettingsWriterKeepsWhatItDoesNotKnow()
    {
        const QString path = SettingsFileUserDefaults::fileForSuite(QStringLiteral("foreign"));
        const QDateTime stamp = QDateTime::fromMSecsSinceEpoch(1700000000250, Qt::UTC);
        const QString note = QStringLiteral("tab\there\x01bell\r\nline");
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(PropertyList::toBinary(QVariantMap{{QStringLiteral("stamp"), stamp},
                                                          {QStringLiteral("ref"), QVariant::fromValue(PropertyList::Uid{7})},
                                                          {QStringLiteral("note"), note}}));
        }
        {
            SettingsFileUserDefaults defaults(QStringLiteral("foreign"));
            defaults.setValue(QStringLiteral("mine"), true);
            defaults.synchronize();
        }
        const QByteArray bytes = readFile(path);
        const std::optional<QVariant> parsed = PropertyList::parse(bytes);
        QVERIFY(parsed);
        const QVariantMap stored = parsed->toMap();
        QCOMPARE(stored.value(QStringLiteral("stamp")).toDateTime(), stamp);
        QCOMPARE(stored.value(QStringLiteral("ref")).typeId(), qMetaTypeId<PropertyList::Uid>());
        QCOMPARE(stored.value(QStringLiteral("ref")).value<PropertyList::Uid>().value, quint64(7));
        QCOMPARE(stored.value(QStringLiteral("note")).toString(), note);
        QCOMPARE(stored.value(QStringLiteral("mine")), QVariant(true));
        QVERIFY(isWellFormedWhereXml(bytes));

        // Settings that XML holds whole are still written as XML.
        {
            SettingsFileUserDefaults plain(QStringLiteral("plain"));
            plain.setValue(QStringLiteral("name"), QStringLiteral("tab\tand line\nfeed <&>"));
            plain.setValue(QStringLiteral("when"), QDateTime::fromMSecsSinceEpoch(1700000000000, Qt::UTC));
            plain.synchronize();
        }
        const QByteArray plainBytes = readFile(SettingsFileUserDefaults::fileForSuite(QStringLiteral("plain")));
        QVERIFY(plainBytes.startsWith("<?xml"));
        QVERIFY(isWellFormedWhereXml(plainBytes));
        QCOMPARE(PropertyList::parse(plainBytes)->toMap().value(QStringLiteral("name")).toString(),
                 QStringLiteral("tab\tand line\nfeed <&>"));
    }

    // Values of other programs that this one reads inexactly or not at all, in a binary settings
    // file: each object is found again, byte for byte, after the program writes a setting of its own,
    // and the file stays binary.
    void otherProgramsBinaryValuesAreWrittenBackByteForByte_data()
    {
        QTest::addColumn<bool>("isDate");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<quint64>("integer");
        QTest::newRow("integer 2^63") << false << 0.0 << (quint64(1) << 63);
        QTest::newRow("integer 2^64-1") << false << 0.0 << std::numeric_limits<quint64>::max();
        QTest::newRow("date not a number") << true << std::numeric_limits<double>::quiet_NaN() << quint64(0);
        QTest::newRow("date 1e15 s") << true << 1e15 << quint64(0);
        QTest::newRow("date 0.000123 s") << true << 0.000123 << quint64(0);
        QTest::newRow("date in year 500") << true << -47335689600.0 << quint64(0);
    }

    void otherProgramsBinaryValuesAreWrittenBackByteForByte()
    {
        QFETCH(bool, isDate);
        QFETCH(double, seconds);
        QFETCH(quint64, integer);
        QByteArray object = isDate ? dateBytes(seconds) : QByteArray("\x14", 1) + QByteArray(8, '\0');
        if (!isDate) {
            char low[8];
            qToBigEndian(integer, low);
            object.append(low, 8);
        }
        const QString path = SettingsFileUserDefaults::fileForSuite(QStringLiteral("binary"));
        BinaryPlistBuilder builder;
        const int value = isDate ? builder.date(seconds) : builder.bigUnsigned(integer);
        const QByteArray bytes = builder.build(builder.dict({{builder.ascii("theirs"), value}, {builder.ascii("mine"), builder.ascii("old")}}));
        QVERIFY(bytes.contains(object));
        QVERIFY(writeTestFile(path, bytes));
        {
            SettingsFileUserDefaults defaults(QStringLiteral("binary"));
            QCOMPARE(defaults.string(QStringLiteral("mine")), QStringLiteral("old"));
            defaults.setValue(QStringLiteral("mine"), QStringLiteral("new"));
            defaults.setValue(QStringLiteral("added"), true);
            defaults.synchronize();
            QVERIFY(!defaults.saveFailing());
        }
        const QByteArray written = readTestFile(path);
        QVERIFY(written.startsWith("bplist00"));
        QVERIFY2(written.contains(object), written.toHex().constData());
        SettingsFileUserDefaults again(QStringLiteral("binary"));
        QCOMPARE(again.string(QStringLiteral("mine")), QStringLiteral("new"));
        QVERIFY(again.boolean(QStringLiteral("added")));
        QVERIFY(again.contains(QStringLiteral("theirs")));
    }

    // Values another program wrote loosely into an XML settings file read as something else ("1e3"
    // as 1); their text is written back as it stands, while the program's own keys change, come and go.
    void otherProgramsXmlValuesAreWrittenBackAsTheyStand_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::newRow("integer 1e3") << QByteArray("<key>theirs</key><integer>1e3</integer>");
        QTest::newRow("empty integer") << QByteArray("<key>theirs</key>\n  <integer></integer>");
        QTest::newRow("date garbage") << QByteArray("<key>theirs</key><date>garbage</date>");
        QTest::newRow("date past the calendar") << QByteArray("<key>theirs</key><date>2024-02-30T25:61:61Z</date>");
        QTest::newRow("comment and character data")
            << QByteArray("<key>the<![CDATA[i]]>rs</key><!-- a <note> --><array><real>1.50</real><dict/></array>");
    }

    void otherProgramsXmlValuesAreWrittenBackAsTheyStand()
    {
        QFETCH(QByteArray, entry);
        const QString path = SettingsFileUserDefaults::fileForSuite(QStringLiteral("loose"));
        const QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n  <key>mine</key>\n"
                                "  <string>old</string>\n  " + entry + "\n  <key>gone</key>\n  <true/>\n</dict>\n</plist>\n";
        QVERIFY(PropertyList::parse(text));
        QVERIFY(writeTestFile(path, text));
        {
            SettingsFileUserDefaults defaults(QStringLiteral("loose"));
            QVERIFY(defaults.contains(QStringLiteral("theirs")));
            defaults.setValue(QStringLiteral("mine"), QStringLiteral("new <&>"));
            defaults.remove(QStringLiteral("gone"));
            defaults.setValue(QStringLiteral("added"), qint64(3));
            defaults.synchronize();
            QVERIFY(!defaults.saveFailing());
        }
        const QByteArray written = readTestFile(path);
        QVERIFY2(written.contains(entry), written.constData());
        QVERIFY(isWellFormedWhereXml(written));
        SettingsFileUserDefaults again(QStringLiteral("loose"));
        QCOMPARE(again.string(QStringLiteral("mine")), QStringLiteral("new <&>"));
        QCOMPARE(again.integer(QStringLiteral("added")), 3);
        QVERIFY(!again.contains(QStringLiteral("gone")));
        QCOMPARE(again.keys().size(), 3);
    }

    // One data value named from 300 places stays one object; and a setting that would make the file
    // larger than the reader takes is not written, so the next start does not lose every setting.
    void theSettingsWriterNeverWritesAFileItCouldNotRead()
    {
        const QString path = SettingsFileUserDefaults::fileForSuite(QStringLiteral("shared"));
        BinaryPlistBuilder builder;
        const int blob = builder.data(QByteArray(205 * 1024, 'x'));
        const QList<int> references(300, blob);
        const int list = builder.array(references);
        const QByteArray bytes = builder.build(builder.dict({{builder.ascii("theirs"), list}}));
        QVERIFY(writeTestFile(path, bytes));
        {
            SettingsFileUserDefaults defaults(QStringLiteral("shared"));
            QCOMPARE(defaults.value(QStringLiteral("theirs")).toList().size(), 300);
            defaults.setValue(QStringLiteral("mine"), true);
            defaults.synchronize();
            QVERIFY(!defaults.saveFailing());
        }
        const QByteArray written = readTestFile(path);
        QVERIFY2(written.size() < 2 * bytes.size(), QByteArray::number(written.size()).constData());
        {
            SettingsFileUserDefaults again(QStringLiteral("shared"));
            QVERIFY(again.boolean(QStringLiteral("mine")));
            QCOMPARE(again.value(QStringLiteral("theirs")).toList().size(), 300);
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Could not save preferences: it would hold \\d+ bytes")));
            QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("kept in memory")));
            again.setValue(QStringLiteral("huge"), QByteArray(PropertyList::maximumInputSize, 'y'));
            again.synchronize();
            QVERIFY(again.saveFailing());
            QCOMPARE(readTestFile(path), written);
            again.remove(QStringLiteral("huge"));
            again.synchronize();
            QVERIFY(!again.saveFailing());
        }
        QVERIFY(SettingsFileUserDefaults(QStringLiteral("shared")).boolean(QStringLiteral("mine")));
    }

    void sameValueTreatsNotANumberAsItself()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QVERIFY(PropertyList::sameValue(QVariantList{nan, 1}, QVariantList{nan, qint64(1)}));
        QVERIFY(!PropertyList::sameValue(QVariantList{nan}, QVariantList{0.0}));
        QVERIFY(!PropertyList::sameValue(QVariantMap{{QStringLiteral("a"), 1}}, QVariantMap{{QStringLiteral("b"), 1}}));
    }
};

KESTROWAN_TEST_MAIN(TestPropertyList)
#include "tst_propertylist.moc"
