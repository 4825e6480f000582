#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/LineBreaking.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StringsTable.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeUserDefaults.h"
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextLayout>
#include <QTemporaryDir>

namespace {

void writeTable(const QString &folder, const QByteArray &contents)
{
    QDir().mkpath(folder);
    QFile file(folder + "/Localizable.strings");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

const QStringList shippedLanguages = {"en", "es", "ja", "pt-BR", "zh-Hans"};

} // namespace

class TestLocalization : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_bundle;
    UserDefaults &defaults() { return UserDefaults::standard(); }

private slots:
    void initTestCase()
    {
        writeTable(m_bundle.filePath("en.lproj"), "\"menu.settings\" = \"Settings\";\n\"only.base\" = \"Base only\";\n\"spelled.as.key\" = \"spelled.as.key\";\n"
                                                  "\"count\" = \"%lld things\";\n\"count.one\" = \"%lld thing\";\n"
                                                  "\"pair\" = \"%@: %lld groups, %lld apps\";\n\"pair.one.other\" = \"%@: %lld group, %lld apps\";\n");
        writeTable(m_bundle.filePath("ja.lproj"), "\"menu.settings\" = \"設定\";\n\"count\" = \"%lld 個\";\n\"count.one\" = \"%lld 個\";\n");
        writeTable(m_bundle.filePath("pt-br.lproj"), "\"menu.settings\" = \"Ajustes\";\n");
        ResourceBundle::setPackagedPath(m_bundle.path());
        LanguageManager::setMainBundleResourcesPath(m_bundle.filePath("no-such-folder"));
    }

    void init()
    {
        UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
        LanguageManager::resetSharedForTesting();
    }

    void withoutAChoiceFollowsTheSystemAndRemovesTheOverride()
    {
        defaults().setStringList("AppleLanguages", {"ja"});
        QCOMPARE(LanguageManager::shared().currentLanguage(), QString("system"));
        QVERIFY(!defaults().contains("AppleLanguages"));
        QCOMPARE(LanguageManager::shared().bundle().path(), m_bundle.path());
    }

    void choosingALanguageStoresItAndSwitchesTexts()
    {
        LanguageManager &manager = LanguageManager::shared();
        QSignalSpy languageSpy(&manager, &LanguageManager::currentLanguageChanged);
        manager.setCurrentLanguage("ja");
        QCOMPARE(defaults().string("appLanguage"), QString("ja"));
        QCOMPARE(defaults().stringList("AppleLanguages"), QStringList{"ja"});
        QCOMPARE(localized("menu.settings"), QString::fromUtf8("設定"));
        QCOMPARE(languageSpy.count(), 1);

        // The same language again rewrites the defaults but notifies nobody.
        defaults().remove("appLanguage");
        manager.setCurrentLanguage("ja");
        QCOMPARE(defaults().string("appLanguage"), QString("ja"));
        QCOMPARE(languageSpy.count(), 1);

        manager.setCurrentLanguage("system");
        QVERIFY(!defaults().contains("AppleLanguages"));
        QCOMPARE(defaults().string("appLanguage"), QString("system"));
    }

    // Observers look texts up again when told; by then the defaults and the bundle must be the new ones.
    void observersAreToldAfterEverythingChanged()
    {
        LanguageManager &manager = LanguageManager::shared();
        QStringList seen;
        const auto connection = connect(&manager, &LanguageManager::currentLanguageChanged, this, [&](const QString &code) {
            seen << code << defaults().string("appLanguage") << defaults().stringList("AppleLanguages").join(',') << localized("menu.settings");
        });
        manager.setCurrentLanguage("ja");
        manager.setCurrentLanguage("system");
        disconnect(connection);
        QCOMPARE(seen, (QStringList{"ja", "ja", "ja", QString::fromUtf8("設定"), "system", "system", "", "Settings"}));
    }

    void offeredLanguagesAreTheShippedOnesAfterTheSystem()
    {
        QStringList codes;
        QStringList names;
        for (const LanguageManager::OfferedLanguage &language : LanguageManager::offeredLanguages())
            codes << language.code, names << language.displayName;
        QCOMPARE(codes, QStringList{"system"} + shippedLanguages);
        QCOMPARE(names, (QStringList{QString::fromUtf8("跟随系统 / System"), "English", QString::fromUtf8("Español"), QString::fromUtf8("日本語"),
                                     QString::fromUtf8("Português (Brasil)"), QString::fromUtf8("简体中文")}));
    }

    // Qt's own texts and formats follow the choice from the next start.
    void systemTextsFollowTheChoiceAtStartup()
    {
        FakeUserDefaults fake;
        QVERIFY(!LanguageManager::applySystemTextsAtStartup(fake));
        fake.setValue("appLanguage", "ja");
        QVERIFY(LanguageManager::applySystemTextsAtStartup(fake));
        QCOMPARE(QLocale().language(), QLocale::Japanese);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("キャンセル"));
        fake.setValue("appLanguage", "zh-Hans");
        QVERIFY(LanguageManager::applySystemTextsAtStartup(fake));
        QCOMPARE(QLocale().script(), QLocale::SimplifiedChineseScript);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("取消"));
        fake.setValue("appLanguage", "pt-BR");
        QVERIFY(LanguageManager::applySystemTextsAtStartup(fake));
        QCOMPARE(QLocale().territory(), QLocale::Brazil);
        QLocale::setDefault(QLocale::c());
    }

    void languageFolderFoundInLowerCase()
    {
        LanguageManager::shared().setCurrentLanguage("pt-BR");
        QVERIFY(LanguageManager::shared().bundle().path().endsWith("pt-br.lproj"));
        QCOMPARE(localized("menu.settings"), QString("Ajustes"));
    }

    void fallbackOrder()
    {
        LanguageManager::shared().setCurrentLanguage("ja");
        // Missing in the chosen table: the packaged tables answer, English last.
        QCOMPARE(localized("only.base"), QString("Base only"));
        // Missing everywhere: the key itself.
        QCOMPARE(localized("no.such.key"), QString("no.such.key"));
        // An unknown language keeps the base bundle.
        LanguageManager::shared().setCurrentLanguage("xx");
        QCOMPARE(LanguageManager::shared().bundle().path(), m_bundle.path());
        QCOMPARE(localized("spelled.as.key"), QString("spelled.as.key"));
    }

    // A count of one reads in the singular where the table has it, and only then.
    void countsOfOneReadInTheSingular()
    {
        LanguageManager::shared().setCurrentLanguage("en");
        QCOMPARE(localizedFormat("count", {qsizetype(1)}), QString("1 thing"));
        QCOMPARE(localizedFormat("count", {1}), QString("1 thing"));
        QCOMPARE(localizedFormat("count", {0}), QString("0 things"));
        QCOMPARE(localizedFormat("count", {qsizetype(21)}), QString("21 things"));
        // A "1" that is text is no count.
        QCOMPARE(localizedFormat("count", {QString("1")}), QString("1 things"));
        // Each count picks its form, in order; a combination the table lacks keeps the plain text.
        QCOMPARE(localizedFormat("pair", {QString("Work"), 1, 3}), QString("Work: 1 group, 3 apps"));
        QCOMPARE(localizedFormat("pair", {QString("Work"), 3, 1}), QString("Work: 3 groups, 1 apps"));
        QCOMPARE(localizedFormat("pair", {QString("Work"), 2, 3}), QString("Work: 2 groups, 3 apps"));
        // A language without a singular keeps its own text rather than borrowing English.
        LanguageManager::shared().setCurrentLanguage("ja");
        // (The space beside the counter is held: "1" never ends a line without its "個".)
        QCOMPARE(localizedFormat("count", {1}), QString::fromUtf8("1\u00A0個"));
        QCOMPARE(LineBreaking::visibleText(localizedFormat("count", {1})), QString::fromUtf8("1 個"));
    }

    void missingPackagedBundleShowsKeys()
    {
        ResourceBundle::setPackagedPath(m_bundle.filePath("absent"));
        LanguageManager::resetSharedForTesting();
        QCOMPARE(localized("menu.settings"), QString("menu.settings"));
        ResourceBundle::setPackagedPath(m_bundle.path());
    }

    // The tables compiled into the program are read as they are shipped, in every language.
    void compiledInTablesAreRead()
    {
        ResourceBundle::setPackagedPath(QStringLiteral(":/Kestrowan_Kestrowan.bundle"));
        const QString root = QStringLiteral(KESTROWAN_SOURCE_DIR);
        for (const QString &language : shippedLanguages) {
            QFile file(root + "/resources/" + language + ".lproj/Localizable.strings");
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
            const QString expected = StringsTable::parse(file.readAll()).entries.value(QStringLiteral("menu.settings"));
            QVERIFY(!expected.isEmpty());
            LanguageManager::resetSharedForTesting();
            LanguageManager::shared().setCurrentLanguage(language);
            QCOMPARE(localized("menu.settings"), expected);
        }
        ResourceBundle::setPackagedPath(m_bundle.path());
    }

    // Japanese and Chinese set Latin words apart with spaces inside a phrase ("Dock から"): the
    // shipped texts, as the program looks them up, never end a line at such a space, whatever the
    // width they are wrapped to.
    void cjkTextsNeverBreakAtASpaceInsideAPhrase()
    {
        ResourceBundle::setPackagedPath(QStringLiteral(":/Kestrowan_Kestrowan.bundle"));
        const QString root = QStringLiteral(KESTROWAN_SOURCE_DIR);
        const QFont font = SystemFont::font(13);
        int texts = 0;
        for (const QString &language : {QStringLiteral("ja"), QStringLiteral("zh-Hans")}) {
            QFile file(root + "/resources/" + language + ".lproj/Localizable.strings");
            QVERIFY(file.open(QIODevice::ReadOnly));
            const StringsTable table = StringsTable::parse(file.readAll());
            LanguageManager::resetSharedForTesting();
            LanguageManager::shared().setCurrentLanguage(language);
            for (auto entry = table.entries.cbegin(); entry != table.entries.cend(); ++entry) {
                if (!entry.value().contains(u' '))
                    continue;
                ++texts;
                const QString text = localized(entry.key());
                const bool marked = text.contains(LineBreaking::phraseMark);
                const auto cjk = [](QChar c) { return c.unicode() >= 0x3000 && c.unicode() <= 0x9FFF; };
                for (int width = 30; width <= 420; width += 3) {
                    QTextLayout layout(text, font);
                    LineBreaking::layOutLines(layout, width);
                    for (int i = 0; i + 1 < layout.lineCount(); ++i) {
                        const qsizetype end = layout.lineAt(i).textStart() + layout.lineAt(i).textLength();
                        if (end < 2 || !text.at(end - 1).isSpace())
                            continue;
                        const QChar before = text.at(end - 2);
                        const QChar after = end < text.size() ? text.at(end) : QChar();
                        const bool insidePhrase = marked ? before != LineBreaking::phraseMark && after != LineBreaking::phraseMark
                                                         : cjk(before) || cjk(after);
                        QVERIFY2(!insidePhrase, qPrintable(language + " " + entry.key() + " breaks at a space at width "
                                                           + QString::number(width) + ": "
                                                           + LineBreaking::visibleText(text.left(end)) + " | "
                                                           + LineBreaking::visibleText(text.mid(end))));
                    }
                }
            }
        }
        QVERIFY(texts > 20);
        ResourceBundle::setPackagedPath(m_bundle.path());
    }

    void overrideBeforeTheInterfaceStarts()
    {
        auto &fake = static_cast<FakeUserDefaults &>(defaults());
        LanguageManager::applyLanguageOverrideAtStartup(fake);
        QVERIFY(!fake.contains("AppleLanguages"));
        QCOMPARE(fake.synchronizeCount, 0);

        fake.setValue("appLanguage", QString("zh-Hans"));
        LanguageManager::applyLanguageOverrideAtStartup(fake);
        QCOMPARE(fake.stringList("AppleLanguages"), QStringList{"zh-Hans"});
        QCOMPARE(fake.synchronizeCount, 1);

        // A wrong-typed stored language is treated as no choice.
        fake.remove("AppleLanguages");
        fake.setValue("appLanguage", 42);
        LanguageManager::applyLanguageOverrideAtStartup(fake);
        QVERIFY(!fake.contains("AppleLanguages"));
    }

    // Every key the program looks up, and every key the tables promise, is translated in all five
    // shipped tables, once, and the tables parse cleanly.
    void shippedTablesCoverEveryKey()
    {
        const QString root = QStringLiteral(KESTROWAN_SOURCE_DIR);
        QSet<QString> used;
        // Only whole literal keys: a literal followed by '+' is a prefix, checked through the key list.
        const QRegularExpression call("\\blocalized\\(\\s*(?:QStringLiteral\\(\\s*\"([^\"\\\\]+)\"\\s*\\)|u?\"([^\"\\\\]+)\")\\s*\\)");
        for (const char *folder : {"Kestrowan", "NVLXDesign", "analytics", "Platform"}) {
            QDirIterator it(root + "/" + QString::fromLatin1(folder), {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile file(it.next());
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QString text = QString::fromUtf8(file.readAll());
                for (auto match = call.globalMatch(text); match.hasNext();)
                    {
                    const auto found = match.next();
                    used.insert(found.captured(1).isEmpty() ? found.captured(2) : found.captured(1));
                }
            }
        }
        QFile list(root + "/resources/localization-keys.txt");
        QVERIFY2(list.open(QIODevice::ReadOnly), "resources/localization-keys.txt is missing");
        for (const QByteArray &line : list.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                used.insert(QString::fromUtf8(line.trimmed()));
        }
        QVERIFY(used.size() > 50);

        for (const QString &language : shippedLanguages) {
            QFile file(root + "/resources/" + language + ".lproj/Localizable.strings");
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
            const QByteArray bytes = file.readAll();
            const StringsTable table = StringsTable::parse(bytes);
            QVERIFY2(table.errorCount == 0, qPrintable(language + ": " + table.firstError));
            // Tables grow by merged lines from several hands: a key written twice hides one text.
            QSet<QString> seen;
            QStringList twice;
            static const QRegularExpression keyAtStart("^\\s*\"([^\"]+)\"\\s*=");
            for (const QString &line : QString::fromUtf8(bytes).split(u'\n')) {
                const QRegularExpressionMatch key = keyAtStart.match(line);
                if (key.hasMatch() && seen.contains(key.captured(1)))
                    twice << key.captured(1);
                if (key.hasMatch())
                    seen.insert(key.captured(1));
            }
            QVERIFY2(twice.isEmpty(), qPrintable(language + " writes twice: " + twice.join(", ")));
            QStringList missing;
            for (const QString &key : std::as_const(used)) {
                if (table.entries.value(key).isEmpty())
                    missing << key;
            }
            missing.sort();
            QVERIFY2(missing.isEmpty(), qPrintable(language + " lacks: " + missing.join(", ")));
        }
    }
};

KESTROWAN_TEST_MAIN(TestLocalization)
#include "tst_localization.moc"
