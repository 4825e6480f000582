#include "Kestrowan/shell/BundleInformation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/BoundedFile.h"
#include "tests/support/TestMain.h"

// The texts, bundle information and shipped files compiled into the program are read through the
// same bounded reader as files from outside; these cases read the real compiled-in bundle.
class TestPackagedBundle : public QObject {
    Q_OBJECT
private slots:
    void textsComeFromTheCompiledInTables()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
        QCOMPARE(localized(QStringLiteral("onboarding.skip")), QStringLiteral("Skip"));
        QCOMPARE(localized(QStringLiteral("menu.quit")), QStringLiteral("Quit Kestrowan"));
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("ja"));
        QCOMPARE(localized(QStringLiteral("onboarding.skip")), QStringLiteral("スキップ"));
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("system"));
    }

    void bundleInformationIsRead()
    {
        QVERIFY(BundleInformation::string(QStringLiteral("CFBundleShortVersionString")).has_value());
    }

    void compiledInFilesAreReadWholeAndCapped()
    {
        const QString icon = QStringLiteral(":/Kestrowan_Kestrowan.bundle/AppIcon.svg");
        const auto bytes = readSmallFile(icon);
        QVERIFY(bytes.has_value());
        QVERIFY(bytes->startsWith("<") || bytes->contains("<svg"));
        QString failure;
        QVERIFY(!readSmallFile(icon, 10, &failure).has_value());
        QVERIFY(failure.contains(QStringLiteral("larger")));
    }
};

KESTROWAN_TEST_MAIN(TestPackagedBundle)
#include "tst_packagedbundle.moc"
