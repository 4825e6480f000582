// The first run on screen: the navigation bar's controls per step, the finish that cannot run
// twice, the steps' contents, drops from elsewhere, and pictures of every step for people to look
// at (saved to "<build>/screenshots").

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/onboarding/AppChip.h"
#include "Kestrowan/onboarding/AppIconView.h"
#include "Kestrowan/onboarding/DoneStep.h"
#include "Kestrowan/onboarding/DraftGroupCard.h"
#include "Kestrowan/onboarding/FilledButton.h"
#include "Kestrowan/onboarding/GroupMakingStep.h"
#include "Kestrowan/onboarding/MockPopup.h"
#include "Kestrowan/onboarding/OnboardingView.h"
#include "Kestrowan/onboarding/PermissionStep.h"
#include "Kestrowan/onboarding/PreviewStep.h"
#include "Kestrowan/onboarding/TextButton.h"
#include "Kestrowan/onboarding/WelcomeStep.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "tests/support/RealApps.h"
#include "tests/mainwindow/MainWindowTestSupport.h"
#include "tests/onboarding/OnboardingTestSupport.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/LineChecks.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/TestMain.h"
#include "tests/support/SettledIcons.h"

#include <QAbstractAnimation>
#include <QGraphicsOpacityEffect>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QScopeGuard>

namespace {

constexpr int timeout = 20000;

QList<DockReader::DockApp> dockApps(const QList<AppItem> &items)
{
    QList<DockReader::DockApp> apps;
    for (const AppItem &item : items)
        apps << DockReader::DockApp{item.bundleIdentifier, item.name, item.path};
    return apps;
}

} // namespace

class TestOnboardingView : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<GroupManager> m_store;
    SettablePermissions m_permissions;
    QList<DockReader::DockApp> m_apps;
    int m_finished = 0;
    bool m_started = false;

    std::unique_ptr<OnboardingView> makeView(const QList<DockReader::DockApp> &apps)
    {
        auto view = std::make_unique<OnboardingView>(OnboardingFlow::Services{m_store.get(), nullptr, &m_permissions},
                                                     [this] { ++m_finished; }, [] {});
        m_started = false;
        view->flow().setSignalSink([this](const QString &name, const QMap<QString, QString> &) {
            if (name == QLatin1String("onboarding.started"))
                m_started = true;
        });
        view->resize(640, 520);
        view->show();
        // The view reads the Dock when it comes on screen; the test's Dock comes after.
        if (!QTest::qWaitFor([this] { return m_started; }, timeout))
            return nullptr;
        view->flow().setDockApps(apps, {apps.value(1).bundleIdentifier, apps.value(3).bundleIdentifier});
        return view;
    }

    template <typename Step>
    Step *shown(OnboardingView &view)
    {
        return qobject_cast<Step *>(view.stepContent());
    }

    static QStringList forwardNames(OnboardingView &view)
    {
        QStringList names;
        for (QAbstractButton *button : view.forwardControls())
            names << button->text();
        return names;
    }

    // Past the step's fade: the step comes in on the next turn of the event loop, faded out, and
    // is read once it is whole. False when it still fades after the deadline.
    static bool waitUntilWhole(OnboardingView &view)
    {
        QCoreApplication::processEvents();
        const auto fading = [&view] {
            for (const QAbstractAnimation *animation : view.findChildren<QAbstractAnimation *>()) {
                if (animation->state() == QAbstractAnimation::Running)
                    return true;
            }
            for (const QGraphicsOpacityEffect *effect : view.findChildren<QGraphicsOpacityEffect *>()) {
                if (effect->isEnabled() && effect->opacity() < 1)
                    return true;
            }
            return false;
        };
        return QTest::qWaitFor([&] { return !fading(); }, timeout);
    }

    QImage save(OnboardingView &view, const QString &name)
    {
        if (!waitUntilWhole(view))
            qWarning("%s: the step was still fading in when pictured", qPrintable(name));
        settleDecodedIcons(&view);
        const QImage image = view.grab().toImage();
        const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        image.save(folder + u'/' + name + QStringLiteral(".png"));
        return image;
    }

private slots:
    void initTestCase()
    {
        applyLook(false);
        // The Dock's applications are real ones, installed by packages, never something else drawn
        // in their place.
        const RealApps::Found found = RealApps::applications();
        QVERIFY2(found.missing.isEmpty(), qPrintable(found.missing));
        m_apps = dockApps(found.items);
        const QString program = QDir::homePath() + QStringLiteral("/Applications/Kestrowan");
        writeBytes(program, "#!/bin/sh\n");
        installSucceedingProcessRunner();
        m_store = startedManager(program);
    }

    void init()
    {
        m_store->setGroups({});
        m_permissions.granted = false;
        m_finished = 0;
    }

    void theBarOffersWhatEachStepAllows()
    {
        auto view = makeView(m_apps);
        QVERIFY(view);
        QVERIFY(!view->backButton());
        QCOMPARE(forwardNames(*view), QStringList{localized("onboarding.organize")});
        view->forwardControls().first()->click();
        QCOMPARE(view->flow().step(), 1);
        QVERIFY(view->backButton());
        QCOMPARE(forwardNames(*view), (QStringList{localized("onboarding.group.createLater"), localized("onboarding.continue")}));
        // Both lead on, whatever the drafts hold.
        view->forwardControls().first()->click();
        QCOMPARE(view->flow().step(), 2);
        view->backButton()->click();
        view->forwardControls().last()->click();
        QCOMPARE(view->flow().step(), 2);
        view->forwardControls().last()->click();
        view->forwardControls().last()->click();
        QCOMPARE(view->flow().step(), 4);
        auto *finish = qobject_cast<FilledButton *>(view->forwardControls().last());
        QCOMPARE(finish->title(), localized("onboarding.getStarted"));

        // With an application in a draft the finish adds the groups to the Dock.
        view->backButton()->click();
        view->backButton()->click();
        view->backButton()->click();
        QCOMPARE(view->flow().step(), 1);
        shown<GroupMakingStep>(*view)->chips().first()->click();
        QCOMPARE(view->flow().groups().first().appBundleIDs, QStringList{view->flow().dockApps().first().bundleIdentifier});
        view->flow().setStep(4);
        finish = qobject_cast<FilledButton *>(view->forwardControls().last());
        QCOMPARE(finish->title(), localized("onboarding.syncStart"));

        // Pressing twice: the controls are off while the finish runs, and it runs once.
        finish->click();
        QVERIFY(!finish->isEnabled());
        QVERIFY(!view->backButton()->isEnabled());
        QVERIFY(!view->skipButton()->isEnabled());
        view->flow().finish();
        QTRY_COMPARE_WITH_TIMEOUT(m_finished, 1, timeout);
        QCOMPARE(m_store->groups().size(), 1);
    }

    void theWelcomeStepShowsAtMostThreeRowsOfSeven()
    {
        QList<DockReader::DockApp> many;
        for (int i = 0; i < 22; ++i)
            many << m_apps[i % m_apps.size()];
        auto view = makeView(many);
        QVERIFY(view);
        QTRY_VERIFY_WITH_TIMEOUT(shown<WelcomeStep>(*view) && view->stepContent()->findChildren<AppIconView *>().size() == 21, timeout);
        auto *more = view->stepContent()->findChild<TokenLabel *>("moreApps");
        QVERIFY(more);
        QVERIFY(more->text().contains(u'1'));

        view->flow().setDockApps(many.mid(0, 21), {});
        QTRY_VERIFY_WITH_TIMEOUT(view->stepContent()->findChildren<AppIconView *>().size() == 21, timeout);
        QVERIFY(!view->stepContent()->findChild<TokenLabel *>("moreApps"));
    }

    void aDropFromElsewhereIsRefused()
    {
        auto view = makeView(m_apps);
        QVERIFY(view);
        view->flow().setStep(1);
        auto *step = shown<GroupMakingStep>(*view);
        QTRY_COMPARE_WITH_TIMEOUT(step->cards().size(), 1, timeout);
        DraftGroupCard *card = step->cards().first();
        const auto drop = [card](const QString &text) {
            QMimeData mime;
            mime.setText(text);
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(card, &enter);
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(card, &event);
            return enter.isAccepted() && event.isAccepted();
        };
        QVERIFY(!drop(QStringLiteral("rm -rf ~")));
        QVERIFY(!drop(QString()));
        QTest::qWait(0);
        QVERIFY(view->flow().groups().first().appBundleIDs.isEmpty());
        QVERIFY(drop(m_apps[2].bundleIdentifier));
        QTRY_COMPARE_WITH_TIMEOUT(view->flow().groups().first().appBundleIDs, QStringList{m_apps[2].bundleIdentifier}, timeout);
    }

    void thePreviewAndDoneStepsFollowTheDrafts()
    {
        auto view = makeView(m_apps);
        QVERIFY(view);
        OnboardingFlow &flow = view->flow();
        flow.setStep(1);
        flow.startCreatingGroup();
        flow.setPendingGroupName(QStringLiteral("Play"));
        flow.createGroupFromPendingName();
        flow.toggleAppInActiveGroup(m_apps[0].bundleIdentifier);
        flow.setStep(2);
        MockPopup *popup = shown<PreviewStep>(*view)->popup();
        // The first draft holding an application names the picture; the items are the Dock's first four.
        QCOMPARE(flow.previewGroupName(), QStringLiteral("Play"));
        QCOMPARE(popup->items().size(), MockPopup::maxItems);
        QCOMPARE(popup->items().first(), flow.dockApps().first());
        QCOMPARE(MockPopup::badgeText(4), QStringLiteral("Super+4"));
        // A written-out key is most of an icon wide: each badge rests on its icon's top edge
        // instead of covering the top of the picture, and stays inside the panel.
        for (int i = 0; i < int(popup->items().size()); ++i) {
            const QRectF icon = popup->iconRect(i);
            const QRectF badge = popup->badgeRect(i);
            QVERIFY2(badge.width() > icon.width() / 2, "a key badge this wide is what the check is about");
            QVERIFY2(badge.bottom() <= icon.top() + 2, qPrintable(QStringLiteral("badge %1 covers %2 points of its icon").arg(i).arg(badge.bottom() - icon.top())));
            QVERIFY(QRectF(popup->rect()).contains(badge));
        }

        QCOMPARE(DoneStep::shortcutChipTexts(7),
                 (QStringList{"Ctrl+1", "Ctrl+2", "Ctrl+3", "Ctrl+4", "Ctrl+5", "Ctrl+6"}));
        flow.setStep(4);
        const QList<TokenLabel *> chips = view->stepContent()->findChildren<TokenLabel *>("shortcutChip");
        QCOMPARE(chips.size(), 1);
        QCOMPARE(chips.first()->text(), QStringLiteral("Ctrl+1"));
    }

    // Words on the accent fill read at the contrast small text needs in both looks: the chosen
    // draft card's words and the Continue button's title.
    void wordsOnTheAccentAreReadableInBothLooks_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void wordsOnTheAccentAreReadableInBothLooks()
    {
        QFETCH(bool, dark);
        applyLook(dark);
        const auto restore = qScopeGuard([] { applyLook(false); });
        auto view = makeView(m_apps);
        QVERIFY(view);
        QTest::mouseClick(view->forwardControls().first(), Qt::LeftButton);
        QCOMPARE(view->flow().step(), 1);
        // The chosen card (the first draft is chosen at the start, its name open for typing): the
        // step rebuilds its cards as the drafts change, so it is looked up afresh.
        DraftGroupCard *card = nullptr;
        QList<TokenLabel *> words;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     GroupMakingStep *step = shown<GroupMakingStep>(*view);
                                     if (!step || step->cards().isEmpty())
                                         return false;
                                     card = step->cards().first();
                                     words.clear();
                                     for (TokenLabel *label : card->findChildren<TokenLabel *>())
                                         if (label->isVisible() && !label->text().isEmpty())
                                             words << label;
                                     return !words.isEmpty();
                                 }()),
                                 timeout);
        const auto check = [](QWidget *widget, const QRect &area) {
            const QImage picture = widget->grab().toImage();
            const qreal scale = picture.devicePixelRatio();
            const auto [fill, ink] = fillAndInk(picture.copy(QRect(area.topLeft() * scale, area.size() * scale)));
            QVERIFY2(fill.red() > 200 && fill.blue() < 150, qPrintable(fill.name()));
            QVERIFY2(contrastRatio(fill, ink) >= 4.5,
                     qPrintable(QStringLiteral("%1 on %2: %3").arg(ink.name(), fill.name()).arg(contrastRatio(fill, ink))));
        };
        for (TokenLabel *label : std::as_const(words))
            check(card, QRect(label->mapTo(card, QPoint(0, 0)), label->size()));
        QAbstractButton *next = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(
            (next = [&]() -> QAbstractButton * {
                for (QAbstractButton *button : view->findChildren<QAbstractButton *>(QStringLiteral("continueButton")))
                    if (button->isVisible())
                        return button;
                return nullptr;
            }()),
            timeout);
        // The title's middle band, clear of the rounded corners and the shadow.
        check(next, QRectF(next->width() * 0.25, next->height() * 0.3, next->width() * 0.5, next->height() * 0.35).toRect());
    }

    // The keys on the last page ("Ctrl+1" in its tinted chip) read at 4.5:1 or more in both looks,
    // measured from the drawn pixels. Strokes this thin lose ink with the renderer (4.63:1 here read
    // 4.20:1 on a desktop): what is drawn here keeps half a point to spare.
    void theDoneStepsKeysReadInBothLooks_data() { wordsOnTheAccentAreReadableInBothLooks_data(); }
    void theDoneStepsKeysReadInBothLooks()
    {
        QFETCH(bool, dark);
        applyLook(dark);
        const auto restore = qScopeGuard([] { applyLook(false); });
        auto view = makeView(m_apps);
        QVERIFY(view);
        view->flow().setStep(1);
        view->flow().startCreatingGroup();
        view->flow().setPendingGroupName(QStringLiteral("Play"));
        view->flow().createGroupFromPendingName();
        view->flow().toggleAppInActiveGroup(m_apps[0].bundleIdentifier);
        view->flow().setStep(4);
        QList<TokenLabel *> chips;
        QTRY_VERIFY_WITH_TIMEOUT(!(chips = view->stepContent()->findChildren<TokenLabel *>("shortcutChip")).isEmpty(), timeout);
        QVERIFY(waitUntilWhole(*view));
        for (TokenLabel *chip : std::as_const(chips)) {
            const double ratio = drawnTextContrast(chip);
            QVERIFY2(ratio >= 5.0, qPrintable(QStringLiteral("%1: %2:1").arg(chip->text()).arg(ratio, 0, 'f', 2)));
        }
    }

    // The picture of the popup on the preview step shows the popup's words as the popup does: its
    // search prompt, item names, key badges and footer hints read at 4.5:1 in both looks.
    void thePopupPicturesWordsReadInBothLooks_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }

    void thePopupPicturesWordsReadInBothLooks()
    {
        QFETCH(bool, dark);
        applyLook(dark);
        const auto restore = qScopeGuard([] { applyLook(false); });
        auto view = makeView(m_apps);
        QVERIFY(view);
        view->flow().setStep(2);
        MockPopup *popup = shown<PreviewStep>(*view)->popup();
        QVERIFY(popup);
        QVERIFY(waitUntilWhole(*view));
        settleDecodedIcons(view.get());
        QStringList low;
        const auto read = [&](const QString &what, const QRectF &area) {
            const double ratio = drawnTextContrast(popup, area.toAlignedRect());
            if (ratio < 4.5)
                low << QStringLiteral("%1: %2").arg(what).arg(ratio, 0, 'f', 2);
        };
        read(QStringLiteral("search prompt"), popup->searchRect().adjusted(2, 2, -2, -2));
        read(QStringLiteral("footer hints"), popup->footerRect());
        QVERIFY(!popup->items().isEmpty());
        for (int i = 0; i < int(popup->items().size()); ++i) {
            const QRectF icon = popup->iconRect(i);
            read(QStringLiteral("name %1").arg(i), QRectF(icon.center().x() - 25, icon.bottom() + 4, 50, 12));
            read(QStringLiteral("badge %1").arg(i), popup->badgeRect(i).adjusted(1, 1, -1, -1));
        }
        QVERIFY2(low.isEmpty(), qPrintable(low.join(QStringLiteral("; "))));
    }

    // The applications chosen for the group on screen keep their names readable on the accent's
    // tint: 4.5:1 or more, in both looks, as the chips not chosen.
    void theChosenApplicationsNamesReadInBothLooks_data() { thePopupPicturesWordsReadInBothLooks_data(); }
    void theChosenApplicationsNamesReadInBothLooks()
    {
        QFETCH(bool, dark);
        applyLook(dark);
        const auto restore = qScopeGuard([] { applyLook(false); });
        auto view = makeView(m_apps);
        QVERIFY(view);
        view->flow().setStep(1);
        QVERIFY(waitUntilWhole(*view));
        QList<AppChip *> chips = view->findChildren<AppChip *>();
        QVERIFY(chips.size() >= 2);
        QString chosen;
        for (const DockReader::DockApp &app : std::as_const(m_apps)) {
            if (app.name == chips.first()->text())
                chosen = app.bundleIdentifier;
        }
        QTest::mouseClick(chips.first(), Qt::LeftButton);
        QTRY_VERIFY(view->flow().isInActiveGroup(chosen));
        settleDecodedIcons(view.get());
        for (AppChip *chip : {chips.first(), chips.at(1)}) {
            // The name, right of the 20-point icon.
            const double ratio = drawnTextContrast(chip, QRect(38, 6, chip->width() - 48, chip->height() - 12));
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1 (%2): %3").arg(chip->text()).arg(dark ? "dark" : "light").arg(ratio)));
        }
    }

    // A long name ends in "…" inside its own box on the draft card (clear of the pencil) and on the
    // done card, instead of being cut mid-letter.
    void longNamesEndInAnEllipsisInsideTheirBox()
    {
        auto view = makeView(m_apps);
        QVERIFY(view);
        OnboardingFlow &flow = view->flow();
        flow.setStep(1);
        flow.startCreatingGroup();
        const QString longName = QStringLiteral("Weekend Workshop Materials Wow");
        flow.setPendingGroupName(longName);
        flow.createGroupFromPendingName();
        flow.toggleAppInActiveGroup(m_apps[0].bundleIdentifier);
        const auto fitsWithEllipsis = [](TokenLabel *label) {
            const QString shown = label->shownText();
            return shown.endsWith(QChar(0x2026)) && label->fontMetrics().horizontalAdvance(shown) <= label->contentsRect().width();
        };

        auto *step = shown<GroupMakingStep>(*view);
        QVERIFY(step);
        DraftGroupCard *card = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((card = [&]() -> DraftGroupCard * {
                                     for (DraftGroupCard *candidate : step->cards()) {
                                         if (auto *name = candidate->findChild<TokenLabel *>(QStringLiteral("groupName"));
                                             name && name->text().startsWith(longName.left(20)) && name->isVisible())
                                             return candidate;
                                     }
                                     return nullptr;
                                 }()),
                                 timeout);
        TokenLabel *draftName = card->findChild<TokenLabel *>(QStringLiteral("groupName"));
        QWidget *pencil = card->findChild<QWidget *>(QStringLiteral("renameButton"));
        QVERIFY(pencil);
        QTRY_VERIFY_WITH_TIMEOUT(fitsWithEllipsis(draftName), timeout);
        QVERIFY(draftName->geometry().right() < pencil->geometry().left());

        flow.setStep(4);
        TokenLabel *doneName = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((doneName = [&]() -> TokenLabel * {
                                     for (TokenLabel *label : view->stepContent()->findChildren<TokenLabel *>(QStringLiteral("groupName"))) {
                                         if (label->text().startsWith(longName.left(20)) && label->isVisible())
                                             return label;
                                     }
                                     return nullptr;
                                 }()),
                                 timeout);
        QTRY_VERIFY_WITH_TIMEOUT(fitsWithEllipsis(doneName), timeout);
        QVERIFY(doneName->parentWidget()->rect().contains(doneName->geometry()));
    }

    // A live switch of the look recolours the field for a new group's name at once.
    void theNameFieldFollowsALiveLookSwitch()
    {
        auto view = makeView(m_apps);
        QVERIFY(view);
        OnboardingFlow &flow = view->flow();
        flow.setStep(1);
        flow.startCreatingGroup();
        auto *step = shown<GroupMakingStep>(*view);
        QVERIFY(step);
        QTRY_VERIFY_WITH_TIMEOUT(step->pendingNameField() && step->pendingNameField()->isVisible(), timeout);
        QLineEdit *field = step->pendingNameField();
        QTest::keyClicks(field, QStringLiteral("Work"));
        const auto fieldIsDark = [field] { return fillAndInk(field->grab().toImage()).first.lightness() < 100; };
        // As the settings switch it: the application's palette alone.
        Appearance::shared().apply(false);
        QVERIFY(!fieldIsDark());
        Appearance::shared().apply(true);
        QTRY_VERIFY_WITH_TIMEOUT(fieldIsDark(), timeout);
        Appearance::shared().apply(false);
        QTRY_VERIFY_WITH_TIMEOUT(!fieldIsDark(), timeout);
    }

    void thePermissionStepAsksAndThenConfirms()
    {
        auto view = makeView(m_apps);
        QVERIFY(view);
        view->flow().setStep(3);
        FilledButton *authorize = shown<PermissionStep>(*view)->authorizeButton();
        QVERIFY(authorize);
        authorize->click();
        QCOMPARE(m_permissions.requests, 1);
        // The title says where things stand, both ways.
        const auto titled = [&](const char *key) {
            const QString title = localized(QString::fromLatin1(key));
            for (TokenLabel *label : view->stepContent()->findChildren<TokenLabel *>())
                if (label->text() == title && label->isVisible())
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(titled("onboarding.permission.afterGroup.title"), timeout);
        m_permissions.setGranted(true);
        QTRY_VERIFY_WITH_TIMEOUT(shown<PermissionStep>(*view) && !shown<PermissionStep>(*view)->authorizeButton(), timeout);
        QVERIFY(view->stepContent()->findChild<TokenLabel *>("grantedText"));
        QTRY_VERIFY_WITH_TIMEOUT(titled("onboarding.permission.afterGroup.grantedTitle"), timeout);
        QVERIFY(!titled("onboarding.permission.afterGroup.title"));
        m_permissions.setGranted(false);
        QTRY_VERIFY_WITH_TIMEOUT(shown<PermissionStep>(*view) && shown<PermissionStep>(*view)->authorizeButton(), timeout);
        QTRY_VERIFY_WITH_TIMEOUT(titled("onboarding.permission.afterGroup.title"), timeout);
        QVERIFY(!titled("onboarding.permission.afterGroup.grantedTitle"));
    }

    // Every wrapped label of every step, as the reader sees it: Japanese lines end only between
    // the phrases the text marks, and no text leaves one or two characters alone on its last line.
    void wrappedTextBreaksBetweenPhrasesAndEvenly_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("en") << QStringLiteral("en");
        QTest::newRow("ja") << QStringLiteral("ja");
    }

    void wrappedTextBreaksBetweenPhrasesAndEvenly()
    {
        QFETCH(QString, language);
        LanguageManager::shared().setCurrentLanguage(language);
        applyLook(false, language);
        auto view = makeView(m_apps);
        QVERIFY(view);
        OnboardingFlow &flow = view->flow();
        int wrapped = 0;
        const auto checkStep = [&](const QString &name) {
            QTRY_VERIFY_WITH_TIMEOUT(view->stepContent()->isVisible(), 10000);
            QCoreApplication::processEvents();
            for (TokenLabel *label : view->stepContent()->findChildren<TokenLabel *>()) {
                if (!label->isVisible() || !label->wordWrap())
                    continue;
                const QStringList lines = label->shownLines();
                wrapped += lines.size() > 1;
                const QString problem = lineBreakProblem(label->text(), lines);
                QVERIFY2(problem.isEmpty(), qPrintable(name + QStringLiteral(": ") + problem));
            }
        };
        for (int step = 0; step < OnboardingFlow::totalSteps; ++step) {
            flow.setStep(step);
            if (step == 1)
                flow.startCreatingGroup();
            checkStep(QString::number(step));
        }
        flow.setStep(3);
        m_permissions.setGranted(true);
        checkStep(QStringLiteral("granted"));
        m_permissions.setGranted(false);
        QVERIFY(wrapped > 0);
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
        applyLook(false);
    }

    void everyStepPictured_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");
        QTest::newRow("light") << false << QStringLiteral("en");
        QTest::newRow("dark") << true << QStringLiteral("en");
        QTest::newRow("light ja") << false << QStringLiteral("ja");
    }

    void everyStepPictured()
    {
        QFETCH(bool, dark);
        QFETCH(QString, language);
        LanguageManager::shared().setCurrentLanguage(language);
        applyLook(dark, language);
        const QString suffix = QString(dark ? "-dark" : "-light") + (language == QLatin1String("en") ? QString() : u'-' + language);
        auto view = makeView(m_apps);
        QVERIFY(view);
        OnboardingFlow &flow = view->flow();
        const QStringList names{"welcome", "groups", "preview", "permission", "done"};
        for (int step = 0; step < OnboardingFlow::totalSteps; ++step) {
            flow.setStep(step);
            if (step == 1) {
                flow.setEditingGroupName(language == QLatin1String("ja") ? QStringLiteral("仕事") : QStringLiteral("Work"));
                flow.commitPendingRename();
                for (int i : {0, 4, 5, 2})
                    flow.toggleAppInActiveGroup(m_apps[i].bundleIdentifier);
                flow.startCreatingGroup();
                flow.setPendingGroupName(language == QLatin1String("ja") ? QStringLiteral("遊び") : QStringLiteral("Play"));
                flow.createGroupFromPendingName();
                flow.toggleAppInActiveGroup(m_apps[1].bundleIdentifier);
                flow.toggleAppInActiveGroup(m_apps[3].bundleIdentifier);
            }
            const QImage image = save(*view, QStringLiteral("onboarding-") + names[step] + suffix);
            QVERIFY(!image.isNull());
            // Nothing of the step spills out of the frame.
            QVERIFY2(view->stepContent()->minimumSizeHint().height() <= view->stepContent()->height() + 1, qPrintable(names[step]));
        }
        flow.setStep(3);
        m_permissions.setGranted(true);
        save(*view, QStringLiteral("onboarding-permission-granted") + suffix);
        m_permissions.setGranted(false);
        flow.setStep(1);
        flow.startCreatingGroup();
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
        applyLook(false);
    }
};

KESTROWAN_TEST_MAIN(TestOnboardingView)
#include "tst_onboardingview.moc"
