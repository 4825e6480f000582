// The toast: its state changes at once, its 3 s wait starts when it comes on screen and is not
// restarted by a new text, a click clears it, and it draws in the kind's colours.
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Kestrowan/shell/ToastBanner.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "tests/support/LineChecks.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

namespace {

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, colorFromHex(0x131211));
    return palette;
}

int pixelsNear(const QImage &image, const QColor &color)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - color.red()) < 6 && qAbs(c.green() - color.green()) < 6 && qAbs(c.blue() - color.blue()) < 6)
                ++count;
        }
    return count;
}

} // namespace

class TestToast : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    }

    void stateChangesBeforeAnyAnimation()
    {
        QWidget window;
        window.resize(620, 540);
        window.show();
        AppToastModifier toast(&window);
        QSignalSpy changed(&toast, &AppToastModifier::toastChanged);

        toast.setToast(AppToast{AppToast::Kind::Success, QStringLiteral("Saved")});
        QCOMPARE(changed.count(), 1);
        QVERIFY(toast.banner());
        QVERIFY(toast.dismissTimer().isActive());
        QCOMPARE(toast.dismissTimer().interval(), AppToastModifier::displayDurationMs);

        toast.setToast(std::nullopt);
        QVERIFY(!toast.toast()); // cleared at once, while the banner still slides away
        QVERIFY(!toast.dismissTimer().isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!toast.banner(), 10000);
    }

    void newTextKeepsTheFirstWait()
    {
        QWidget window;
        window.resize(620, 540);
        AppToastModifier toast(&window);
        toast.setToast(AppToast{AppToast::Kind::Info, QStringLiteral("First")});
        const int timerId = toast.dismissTimer().timerId();
        toast.setToast(AppToast{AppToast::Kind::Warning, QStringLiteral("Second")});
        QCOMPARE(toast.dismissTimer().timerId(), timerId);
        QCOMPARE(toast.banner()->toast().text, QStringLiteral("Second"));
        QCOMPARE(toast.banner()->toast().kind, AppToast::Kind::Warning);
    }

    void goesAwayByItselfAfterItsWait()
    {
        QWidget window;
        window.resize(620, 540);
        window.show();
        AppToastModifier toast(&window);
        toast.setDisplayDuration(150);
        QSignalSpy changed(&toast, &AppToastModifier::toastChanged);
        toast.setToast(AppToast{AppToast::Kind::Error, QStringLiteral("Could not save")});
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 20000);
        QVERIFY(!toast.toast());
    }

    void clickClearsAtOnce()
    {
        QWidget window;
        window.resize(620, 540);
        window.show();
        AppToastModifier toast(&window);
        toast.setToast(AppToast{AppToast::Kind::Success, QStringLiteral("Synced")});
        QTest::mouseClick(toast.banner(), Qt::LeftButton, {}, QPoint(20, 10));
        QVERIFY(!toast.toast());
        QVERIFY(!toast.dismissTimer().isActive()); // the pending wait ends without effect
    }

    void longTextIsCutToTwoLines()
    {
        ToastBanner banner;
        banner.setMaximumBannerWidth(300);
        banner.setToast(AppToast{AppToast::Kind::Info, QStringLiteral("word ").repeated(80).trimmed()});
        const QStringList lines = banner.visibleLines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().endsWith(QChar(0x2026)));
        QVERIFY(banner.sizeHint().width() <= 300);

        banner.setToast(AppToast{AppToast::Kind::Info, QStringLiteral("Short")});
        QCOMPARE(banner.visibleLines(), QStringList{QStringLiteral("Short")});
    }

    // Two-line Japanese warnings break between phrases, and their lines come out even.
    void twoLinesBreakBetweenPhrasesAndEvenly()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("ja"));
        ToastBanner banner;
        banner.setMaximumBannerWidth(560);
        int twoLines = 0;
        for (const char *key : {"groups.loadError", "groups.saveError", "main.dockTileLeftBehind", "main.syncAllBlocked"}) {
            const QString text = localized(QString::fromLatin1(key));
            banner.setToast(AppToast{AppToast::Kind::Warning, text});
            const QStringList lines = banner.visibleLines();
            twoLines += lines.size() == 2;
            const QString problem = lineBreakProblem(text, lines);
            QVERIFY2(problem.isEmpty(), qPrintable(QString::fromLatin1(key) + QStringLiteral(": ") + problem));
        }
        QVERIFY(twoLines > 0);
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }

    void drawsInTheKindsColours()
    {
        ToastBanner banner;
        banner.setPalette(darkPalette());
        banner.setToast(AppToast{AppToast::Kind::Success, QStringLiteral("Done")});
        banner.resize(banner.sizeHint());
        const QImage dark = banner.grab().toImage();
        QCOMPARE(dark.pixelColor(dark.width() - 14, dark.height() / 2), colorFromHex(0x222222));
        QVERIFY(pixelsNear(dark, colorFromHex(0x30D158)) > 20);

        banner.setPalette(QPalette(Qt::white));
        banner.setToast(AppToast{AppToast::Kind::Info, QStringLiteral("Done")});
        const QImage light = banner.grab().toImage();
        QCOMPARE(light.pixelColor(light.width() - 14, light.height() / 2), colorFromHex(0xFFFFFF));
        QVERIFY(pixelsNear(light, colorFromHex(0xFF7A44)) > 20); // the accent, not the info blue
        QCOMPARE(pixelsNear(light, colorFromHex(0x007AFF)), 0);
    }
};

KESTROWAN_TEST_MAIN(TestToast)
#include "tst_toast.moc"
