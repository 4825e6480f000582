// Colour tokens by appearance, rounded surfaces, the pointing-hand count, the haptic throttle and
// the kit's button looks.
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/HapticTick.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/PointerCursor.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/fake/FakeHapticFeedback.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/TestMain.h"

#include <QEnterEvent>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <memory>

namespace {

QPalette paletteWithWindow(const QColor &window)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    return palette;
}

void sendEnter(QWidget *widget)
{
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(widget, &event);
}

void sendLeave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(widget, &event);
}

bool showsPointingHand()
{
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::PointingHandCursor;
}

} // namespace

class TestSharedStyling : public QObject {
    Q_OBJECT

private slots:
    void tokensResolvePerAppearance()
    {
        const auto dark = EffectiveAppearance::Dark;
        const auto light = EffectiveAppearance::Light;
        QCOMPARE(AppColors::accent.resolve(dark), colorFromHex(0xFF9966));
        QCOMPARE(AppColors::accent.resolve(light), colorFromHex(0xFF7A44));
        QCOMPARE(AppColors::bgHover.resolve(dark), colorFromHex(0xFFFFFF, 0.031));
        QCOMPARE(AppColors::bgHover.resolve(light), colorFromHex(0x000000, 0.024));
        QCOMPARE(AppColors::accentOn.resolve(dark), AppColors::accentOn.resolve(light));
        QCOMPARE(AppColors::shadowLg.resolve(dark), colorFromHex(0x000000, 0.2));
        // The application's tokens are close to the kit's but not equal in every one.
        QCOMPARE(AppColors::text2.resolve(dark), colorFromHex(0xB8B8B8));
        QCOMPARE(DS::text2.resolve(dark), colorFromHex(0x999999));
        QCOMPARE(DS::shadowLg.resolve(dark), colorFromHex(0x000000, 0.439));
        QCOMPARE(DS::icon.resolve(dark), DS::icon.resolve(light));
        QCOMPARE(AppColors::icon.resolve(dark), colorFromHex(0xAAAAAA));
    }

    void hexComponentsAndAlpha()
    {
        const QColor color = colorFromHex(0x1A120A, 0.5);
        QCOMPARE(color.red(), 26);
        QCOMPARE(color.green(), 18);
        QCOMPARE(color.blue(), 10);
        QVERIFY(qAbs(color.alphaF() - 0.5) < 0.002);
    }

    void appearanceComesFromThePaletteDrawnIn()
    {
        QCOMPARE(effectiveAppearance(paletteWithWindow(QColor(0x13, 0x12, 0x11))), EffectiveAppearance::Dark);
        QCOMPARE(effectiveAppearance(paletteWithWindow(QColor(0xFA, 0xF8, 0xF5))), EffectiveAppearance::Light);
        // Neither clearly dark nor light counts as light.
        QCOMPARE(effectiveAppearance(paletteWithWindow(QColor(128, 128, 128))), EffectiveAppearance::Light);

        // The shell's own palettes for the two looks.
        QCOMPARE(effectiveAppearance(Appearance::darkPalette()), EffectiveAppearance::Dark);
        QCOMPARE(effectiveAppearance(Appearance::lightPalette()), EffectiveAppearance::Light);

        QWidget widget;
        widget.setPalette(paletteWithWindow(QColor(0x13, 0x12, 0x11)));
        QCOMPARE(AppColors::surfaceElevated.resolve(&widget), colorFromHex(0x222222));
        widget.setPalette(paletteWithWindow(Qt::white));
        QCOMPARE(AppColors::surfaceElevated.resolve(&widget), colorFromHex(0xFFFFFF));
    }

    void switchingTheApplicationsLookRecoloursOpenWindows()
    {
        const QPalette before = QApplication::palette();
        QWidget window;
        auto *label = new TokenLabel(QStringLiteral("Title"), AppColors::text2, QFont(), &window);
        window.show();
        // The application's palette reaches its widgets through the event loop.
        QApplication::setPalette(Appearance::darkPalette());
        QTRY_COMPARE_WITH_TIMEOUT(label->currentColor(), colorFromHex(0xB8B8B8), 10000);
        QApplication::setPalette(Appearance::lightPalette());
        QTRY_COMPARE_WITH_TIMEOUT(label->currentColor(), colorFromHex(0x666666), 10000);
        QApplication::setPalette(before);
    }

    void accentGradientIgnoresTheAppearance()
    {
        const QLinearGradient gradient = DS::accentGradient(QRectF(0, 0, 100, 40));
        QCOMPARE(gradient.start(), QPointF(50, 0));
        QCOMPARE(gradient.finalStop(), QPointF(50, 40));
        QCOMPARE(gradient.stops().first().second, colorFromHex(0xFF7B5A));
        QCOMPARE(gradient.stops().last().second, colorFromHex(0xFF4520));
    }

    void roundedSurfacesByState()
    {
        const auto dark = EffectiveAppearance::Dark;
        const auto light = EffectiveAppearance::Light;
        const RoundedSurface both = RoundedSurface::toolbarButton(8, true, true, light);
        QCOMPARE(both.fill, AppColors::accent.resolve(light, 0.14));
        QCOMPARE(both.outline, AppColors::accentStroke.resolve(light));
        QCOMPARE(both.outlineWidth, 1.0);
        const RoundedSurface plain = RoundedSurface::toolbarButton(8, false, false, dark);
        QCOMPARE(plain.fill, AppColors::bgHover.resolve(dark));
        QCOMPARE(plain.outlineWidth, 0.8);
        QCOMPARE(RoundedSurface::toolbarButton(8, false, true, dark).fill, AppColors::pressed.resolve(dark));
        QCOMPARE(RoundedSurface::bar(12, dark).fill, colorFromHex(0x222222));
        QCOMPARE(RoundedSurface::bar(12, dark).outline, AppColors::border.resolve(dark));
        QCOMPARE(RoundedSurface::bar(12, light).outline, AppColors::borderStrong.resolve(light));
        const RoundedSurface accented = RoundedSurface::glassButton(10, true, dark);
        QVERIFY(qAbs(accented.fill.alphaF() - 0.1) < 0.002);
        QCOMPARE(RoundedSurface::glassButton(10, false, dark).outline, AppColors::borderCard.resolve(dark));
    }

    void overlappingRegionsKeepThePointingHand()
    {
        PointerCursorCount &count = PointerCursorState::shared();
        QWidget first, second;
        PointerCursorModifier *a = applyPointerCursor(&first);
        applyPointerCursor(&second);

        sendEnter(&first);
        QVERIFY(showsPointingHand());
        sendEnter(&second);
        sendEnter(&second); // a repeated enter counts once
        QCOMPARE(count.count(), 2);
        sendLeave(&first);
        QVERIFY(showsPointingHand());
        sendLeave(&second);
        QCOMPARE(count.count(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(!a->hovering());

        // A leave without an enter changes nothing.
        sendLeave(&first);
        QCOMPARE(count.count(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void disappearingWhileHoveredRestoresTheArrow()
    {
        PointerCursorCount &count = PointerCursorState::shared();
        auto widget = std::make_unique<QWidget>();
        applyPointerCursor(widget.get());
        widget->show();
        sendEnter(widget.get());
        QCOMPARE(count.count(), 1);
        widget->hide();
        QCOMPARE(count.count(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());

        sendEnter(widget.get());
        QCOMPARE(count.count(), 1);
        widget.reset(); // destroyed while hovered
        QCOMPARE(count.count(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void disabledPointerIgnoresThePointerButNotDisappearing()
    {
        PointerCursorCount &count = PointerCursorState::shared();
        QWidget widget;
        PointerCursorModifier *pointer = applyPelkoPointer(&widget, false);
        sendEnter(&widget);
        QCOMPARE(count.count(), 0);
        pointer->setEnabled(true);
        sendEnter(&widget);
        QCOMPARE(count.count(), 1);
        pointer->setEnabled(false);
        sendLeave(&widget);
        QCOMPARE(count.count(), 1);
        widget.show();
        widget.hide();
        QCOMPARE(count.count(), 0);
    }

    void kitAndApplicationCountApart()
    {
        QWidget appRegion;
        NVLXButton button(NVLXButtonStyle::Primary, QStringLiteral("Save"));
        applyPointerCursor(&appRegion);
        sendEnter(&appRegion);
        sendEnter(&button);
        QCOMPARE(PointerCursorState::shared().count(), 1);
        QCOMPARE(NVLXDesign::pointerCursorState().count(), 1);
        sendLeave(&button);
        QVERIFY(showsPointingHand()); // the application's region is still hovered
        sendLeave(&appRegion);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void hapticTicksAreThrottled()
    {
        auto fake = std::make_unique<FakeHapticFeedback>();
        FakeHapticFeedback *haptics = fake.get();
        HapticFeedback::install(std::move(fake));
        qint64 now = 5'000'000'000;
        HapticTicker ticker([&now] { return now; });

        QVERIFY(ticker.tick());
        now += 20'000'000;
        QVERIFY(!ticker.tick());
        now += 30'000'000; // 0.05 s after the first
        QVERIFY(!ticker.tick());
        QCOMPARE(haptics->performed.size(), 1);
        now += 30'000'000; // exactly 0.08 s after the played one
        QVERIFY(ticker.tick());
        QCOMPARE(haptics->performed, (QList<HapticFeedback::Pattern>{HapticFeedback::Pattern::Alignment,
                                                                     HapticFeedback::Pattern::Alignment}));
        // The first tick ever plays, whatever the clock says.
        HapticTicker fresh([] { return qint64(0); });
        QVERIFY(fresh.tick());
        HapticFeedback::install(nullptr);
    }

    void buttonLooksWhilePressed()
    {
        const auto light = EffectiveAppearance::Light;
        const NVLXButtonLook primary = NVLXButtonLook::of(NVLXButtonStyle::Primary, true, light);
        QCOMPARE(primary.fill, DS::accentPressed.resolve(light));
        QCOMPARE(primary.opacity, 0.92);
        QCOMPARE(NVLXButtonLook::of(NVLXButtonStyle::Primary, false, light).fill, DS::accent.resolve(light));
        QCOMPARE(NVLXButtonLook::of(NVLXButtonStyle::Secondary, true, light).opacity, 0.88);
        QCOMPARE(NVLXButtonLook::of(NVLXButtonStyle::Ghost, false, light).fill.alpha(), 0);
        QCOMPARE(NVLXButtonLook::of(NVLXButtonStyle::Ghost, true, light).fill, DS::pressed.resolve(light));
        QCOMPARE(NVLXButtonLook::of(NVLXButtonStyle::Ghost, true, light).opacity, 1.0);
        QVERIFY(!NVLXButtonLook::of(NVLXButtonStyle::Plain, true, light).font);
        QCOMPARE(NVLXButtonLook::of(NVLXButtonStyle::Plain, true, light).opacity, 0.85);
    }

    // The primary button's title on its accent fill reads at the contrast small text needs, in the
    // dark look as in the light one.
    void primaryButtonTitleIsReadableInBothLooks()
    {
        SystemFont::applyToApplication(QStringLiteral("en"));
        for (const QPalette &palette : {Appearance::darkPalette(), Appearance::lightPalette()}) {
            QWidget window;
            window.setPalette(palette);
            auto *button = new NVLXButton(NVLXButtonStyle::Primary, QStringLiteral("Sync to Dock"), &window);
            button->adjustSize();
            window.resize(button->size() + QSize(40, 40));
            button->move(20, 20);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTest::mouseMove(button, button->rect().center());
            const QImage picture = button->grab().toImage();
            const qreal scale = picture.devicePixelRatio();
            // The title's middle band, clear of the rounded corners and the shadow.
            const QRect band = QRectF(button->width() * 0.2 * scale, button->height() * 0.3 * scale, button->width() * 0.6 * scale,
                                      button->height() * 0.4 * scale).toRect();
            const auto [fill, ink] = fillAndInk(picture.copy(band));
            QCOMPARE(fill, DS::accent.resolve(effectiveAppearance(palette)));
            QVERIFY2(contrastRatio(fill, ink) >= 4.5,
                     qPrintable(QStringLiteral("%1 on %2: %3").arg(ink.name(), fill.name()).arg(contrastRatio(fill, ink))));
        }
    }

    // A name with an emoji is drawn from the colour emoji face, not as an empty box in the text's
    // colour: some pixel of the drawn label carries a clear hue.
    void emojiInNamesDrawInColour()
    {
        SystemFont::applyToApplication(QStringLiteral("en"));
        QLabel label(QStringLiteral("Work \U0001F680\U0001F34E"));
        label.setFont(SystemFont::font(24));
        QPalette palette = label.palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        palette.setColor(QPalette::Window, Qt::white);
        label.setPalette(palette);
        label.setAutoFillBackground(true);
        label.adjustSize();
        const QImage image = label.grab().toImage();
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (colour.hsvSaturation() > 120 && colour.value() > 80)
                    ++coloured;
            }
        }
        QVERIFY2(coloured > 20, qPrintable(QStringLiteral("coloured pixels: %1").arg(coloured)));
    }

    void plainButtonDimsOnlyWhilePressed()
    {
        PointerPlainButton button;
        button.setContent(new QWidget);
        button.resize(60, 30);
        button.show();
        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QCOMPARE(button.currentOpacity(), 1.0);
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(button.currentOpacity(), 0.85);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(button.currentOpacity(), 1.0);
        QCOMPARE(clicked.count(), 1);
    }
};

KESTROWAN_TEST_MAIN(TestSharedStyling)
#include "tst_sharedstyling.moc"
