#include "Kestrowan/groups/SettingsValues.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "Platform/PropertyList.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/support/FullDisk.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSignalSpy>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestUserDefaults : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
    }

    void typedReadsFallBackOnWrongTypes()
    {
        UserDefaults &d = UserDefaults::standard();
        d.setValue("text", QString("hello"));
        d.setValue("number", 7);
        d.setValue("flag", true);
        d.setValue("ratio", 0.5);
        QCOMPARE(d.string("text", "x"), QString("hello"));
        QCOMPARE(d.string("number", "x"), QString("x"));
        QCOMPARE(d.integer("number", 1), 7);
        QCOMPARE(d.integer("text", 1), 1);
        QCOMPARE(d.real("number", 0), 7.0);
        QCOMPARE(d.real("ratio", 0), 0.5);
        QCOMPARE(d.boolean("flag", false), true);
        QCOMPARE(d.data("text"), QByteArray());
        QCOMPARE(d.string("absent", "fallback"), QString("fallback"));

        d.setValue("list", QVariantList{QString("a"), 3});
        QVERIFY(d.stringList("list").isEmpty());
        d.setStringList("list", {"a", "b"});
        QCOMPARE(d.stringList("list"), (QStringList{"a", "b"}));
        d.setValue("map", QVariantMap{{"k", 1}});
        QVERIFY(d.stringMap("map").isEmpty());
        d.setStringMap("map", {{"k", "v"}});
        QCOMPARE(d.stringMap("map").value("k"), QString("v"));
    }

    void booleanConversionAndDefault()
    {
        UserDefaults &d = UserDefaults::standard();
        QCOMPARE(boolWithDefault("showInDock", true), true);
        QCOMPARE(boolWithDefault("showInDock", false), false);
        d.setValue("showInDock", false);
        QCOMPARE(boolWithDefault("showInDock", true), false);
        d.setValue("showInDock", QString("YES"));
        QCOMPARE(boolWithDefault("showInDock", false), true);
        d.setValue("showInDock", 0);
        QCOMPARE(boolWithDefault("showInDock", true), false);
        d.setValue("showInDock", QString("maybe"));
        QCOMPARE(boolWithDefault("showInDock", true), true);
        d.setValue("showInDock", QVariantList{});
        QCOMPARE(boolWithDefault("showInDock", false), false);
    }

    void settingDefaultsAndEnumerations()
    {
        UserDefaults &d = UserDefaults::standard();
        QCOMPARE(AppSettings::interactionMode(d), QString("click"));
        QCOMPARE(AppSettings::clickModeBehavior(d), QString("enhanced"));
        QCOMPARE(AppSettings::appearanceMode(d), QString("system"));
        QCOMPARE(AppSettings::autoRefreshDockLabel(d), true);
        QCOMPARE(AppSettings::autoSyncEnabled(d), false);
        QCOMPARE(AppSettings::didCompleteOnboarding(d), false);
        d.setValue("autoRefreshDockLabel", QString("not a bool"));
        QCOMPARE(AppSettings::autoRefreshDockLabel(d), true);
        d.setValue("interactionMode", 3);
        QCOMPARE(AppSettings::interactionMode(d), QString("click"));

        QCOMPARE(clickModeBehaviorFromRawValue("native"), ClickModeBehavior::Native);
        QVERIFY(!clickModeBehaviorFromRawValue("Native"));
        QVERIFY(!appearanceModeFromRawValue(" dark"));
        QCOMPARE(appearanceModeFromRawValue("dark"), AppearanceMode::Dark);
        QCOMPARE(allAppearanceModes().size(), 3);
    }

    void changeSignalPerKeyOnlyOnRealChanges()
    {
        UserDefaults &d = UserDefaults::standard();
        int interactionChanges = 0;
        QObject context;
        d.observe("interactionMode", &context, [&] { ++interactionChanges; });
        QSignalSpy spy(&d, &UserDefaults::valueChanged);
        d.setValue("interactionMode", QString("hover"));
        d.setValue("interactionMode", QString("hover"));
        d.setValue("appearanceMode", QString("dark"));
        d.remove("interactionMode");
        d.remove("interactionMode");
        QCOMPARE(interactionChanges, 2);
        QCOMPARE(spy.count(), 3);
    }

    void suitesAreSeparateDomains()
    {
        UserDefaults::suite("com.example.suite").setValue("k", QString("suite"));
        QVERIFY(!UserDefaults::standard().contains("k"));
        QCOMPARE(&UserDefaults::suite("com.example.suite"), &UserDefaults::suite("com.example.suite"));
    }

    // The real adapter keeps every type across a reload from disk, and an unreadable file is kept aside.
    void fileAdapterRoundTripsTypes()
    {
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(1700000000000, Qt::UTC);
        {
            SettingsFileUserDefaults d("roundtrip");
            d.setValue("flag", true);
            d.setValue("count", qint64(-5));
            d.setValue("ratio", 2.25);
            d.setValue("name", QString("名前"));
            d.setValue("bytes", QByteArray("\x00\x01\xff", 3));
            d.setValue("when", when);
            d.setStringMap("hashes", {{"A", "1"}});
            d.setValue("list", QVariantList{QString("x"), 2});
            d.synchronize();
        }
        SettingsFileUserDefaults d("roundtrip");
        QCOMPARE(d.value("flag").typeId(), int(QMetaType::Bool));
        QCOMPARE(d.boolean("flag"), true);
        QCOMPARE(d.integer("count"), -5);
        QCOMPARE(d.real("ratio"), 2.25);
        QCOMPARE(d.string("name"), QString("名前"));
        QCOMPARE(d.data("bytes"), QByteArray("\x00\x01\xff", 3));
        QCOMPARE(d.value("when").toDateTime(), when);
        QCOMPARE(d.stringMap("hashes").value("A"), QString("1"));
        QCOMPARE(d.value("list").toList().size(), 2);
    }

    void unreadableFileIsKeptAside()
    {
        const QString path = SettingsFileUserDefaults::fileForSuite("garbage");
        {
            SettingsFileUserDefaults create("garbage");
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<plist><dict><key>broken");
        file.close();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("is unreadable; kept a copy"));
        SettingsFileUserDefaults d("garbage");
        QVERIFY(!d.contains("broken"));
        QVERIFY(QFile::exists(path + ".unreadable"));
    }

    // The copy of an unreadable file is checked before the log says it was kept. While no copy can
    // be made (a full disk), the file is not written over: the change waits, and the failure is told.
    void anUnreadableFileIsNotWrittenOverUntilItsCopyIsKept()
    {
        const QString path = SettingsFileUserDefaults::fileForSuite("damaged");
        const QByteArray damaged = "<plist><dict><key>theme</key>" + QByteArray(3000, ' ');
        QDir().mkpath(QFileInfo(path).absolutePath());
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(damaged), damaged.size());
        }
        const LogCapture log;
        const auto count = [&log](const QString &fragment) { return log.countText(fragment); };
        std::unique_ptr<SettingsFileUserDefaults> defaults;
        {
            FullDisk disk(64);
            QVERIFY(disk.active());
            defaults = std::make_unique<SettingsFileUserDefaults>("damaged");
            QCOMPARE(count("no copy of it could be kept"), 1);
            defaults->setValue("theme", QString("dark"));
            defaults->synchronize();
            QVERIFY(defaults->saveFailing());
            QCOMPARE(count("Could not save preferences: the unreadable file could not be copied aside"), 1);
        }
        QCOMPARE(count("kept a copy"), 0);
        QCOMPARE(readFile(path), damaged);
        QVERIFY(!QFileInfo::exists(path + ".unreadable"));

        defaults->synchronize();
        QVERIFY(!defaults->saveFailing());
        QCOMPARE(count("is unreadable; kept a copy at"), 1);
        QCOMPARE(readFile(path + ".unreadable"), damaged);
        defaults.reset();
        QCOMPARE(SettingsFileUserDefaults("damaged").string("theme"), QString("dark"));
    }

    // Another program (or another copy of the defaults) writing the file is seen key by key.
    void changesWrittenElsewhereAreReported()
    {
        SettingsFileUserDefaults reader("shared");
        reader.setValue("kept", QString("same"));
        reader.setValue("gone", true);
        reader.synchronize();
        QSignalSpy changes(&reader, &UserDefaults::valueChanged);
        // As another program writes it: the whole file replaced at once.
        QSaveFile file(SettingsFileUserDefaults::fileForSuite("shared"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(PropertyList::toXml(QVariantMap{{"kept", QString("same")}, {"showInDock", true}}));
        QVERIFY(file.commit());
        QTRY_VERIFY_WITH_TIMEOUT(changes.count() >= 2, 20000);
        QStringList keys;
        for (const QList<QVariant> &change : std::as_const(changes))
            keys.append(change.first().toString());
        keys.removeDuplicates();
        keys.sort();
        QCOMPARE(keys, QStringList({"gone", "showInDock"}));
        QVERIFY(reader.boolean("showInDock"));
        QVERIFY(!reader.contains("gone"));
        QCOMPARE(reader.string("kept"), QString("same"));
    }
};

KESTROWAN_TEST_MAIN(TestUserDefaults)
#include "tst_user_defaults.moc"
