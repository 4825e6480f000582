// The icon-style and skin choice (previews drawn from the group, once per change; selection; what
// each choice writes and reports) and the display-style choice with its fan rule.
#include "Kestrowan/editor/DisplayStyleChoice.h"
#include "Kestrowan/editor/DisplayStyleSection.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/IconChoiceButton.h"
#include "Kestrowan/editor/IconStyleChoice.h"
#include "Kestrowan/editor/IconStyleSection.h"
#include "Kestrowan/editor/ScrollCue.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "Platform/UserDefaults.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <QTest>

class TestEditorStyles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SkinManager> m_skins;

    QList<int> compositions(const IconStyleSection &section)
    {
        QList<int> counts;
        for (IconChoiceButton *button : section.buttons())
            counts.append(button->preview()->compositionCount());
        return counts;
    }

private slots:
    void initTestCase()
    {
        useSourceResources();
        m_skins = std::make_unique<SkinManager>(m_dir.filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
        QCOMPARE(m_skins->availableSkins().size(), 3);
    }

    void init()
    {
        UserDefaults::standard().remove(QStringLiteral("interactionMode"));
        UserDefaults::standard().remove(QStringLiteral("clickModeBehavior"));
    }

    // The row of previews in a page narrower than the row: Shift with the wheel, as a user turns
    // it over the previews, scrolls the row and not the page; the plain wheel scrolls the page; at
    // the row's end its last preview is whole.
    void shiftWheelScrollsTheRowToItsWholeLastPreview()
    {
        EditorDraft draft(groupWith(QStringLiteral("Work"), {itemAt(QStringLiteral("/Applications/Mail.app"))}));
        IconStyleChoice choice(&draft, m_skins.get(), {});
        QScrollArea page;
        auto *content = new QWidget;
        auto *column = new QVBoxLayout(content);
        auto *section = new IconStyleSection(&choice);
        column->addWidget(section);
        column->addSpacing(1200);
        page.setWidget(content);
        page.setWidgetResizable(true);
        page.resize(420, 300);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QScrollArea *row = section->scrollArea();
        QScrollBar *sideways = row->horizontalScrollBar();
        QTRY_VERIFY(sideways->maximum() > 0);
        QCOMPARE(sideways->value(), 0);
        const int pageAt = page.verticalScrollBar()->value();

        // (A wheel event that is sent rather than turned is not handed on to the parents of the
        // preview under the pointer: it goes to the row's viewport, where it arrives in use.)
        const auto turnWheel = [&](Qt::KeyboardModifiers modifiers) {
            QWidget *viewport = row->viewport();
            const QPoint local = viewport->rect().center();
            QWheelEvent wheel(local, viewport->mapToGlobal(local), QPoint(), QPoint(0, -120), Qt::NoButton, modifiers,
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
            return wheel.isAccepted();
        };
        turnWheel(Qt::ShiftModifier);
        QVERIFY(sideways->value() > 0);
        QCOMPARE(page.verticalScrollBar()->value(), pageAt);
        for (int i = 0; i < 100 && sideways->value() < sideways->maximum(); ++i)
            turnWheel(Qt::ShiftModifier);
        QCOMPARE(sideways->value(), sideways->maximum());
        // The last preview, its outline included, is inside the row's visible part.
        IconChoiceButton *last = section->buttons().last();
        const QRect shown(last->mapTo(row->viewport(), QPoint(0, 0)), last->size());
        QVERIFY2(row->viewport()->rect().contains(shown),
                 qPrintable(QStringLiteral("last preview %1..%2 x %4..%5 in a row %3 wide, %6 high").arg(shown.left()).arg(shown.right()).arg(row->viewport()->width()).arg(shown.top()).arg(shown.bottom()).arg(row->viewport()->height())));

        // The plain wheel is left to the page: the row neither moves nor keeps the event.
        const int rowAt = sideways->value();
        sideways->setValue(0);
        QVERIFY(!turnWheel(Qt::NoModifier));
        QCOMPARE(sideways->value(), 0);
        Q_UNUSED(rowAt);
    }

    // Tab and Shift+Tab along the row in a page narrower than it: each preview the keyboard
    // reaches comes whole into the row's view, its ring and title included, however far the row
    // was scrolled the other way.
    void tabBringsEachPreviewWholeIntoTheRow()
    {
        KeyboardFocusRing::install();
        EditorDraft draft(groupWith(QStringLiteral("Work"), {itemAt(QStringLiteral("/Applications/Mail.app"))}));
        IconStyleChoice choice(&draft, m_skins.get(), {});
        QWidget page;
        auto *column = new QVBoxLayout(&page);
        auto *section = new IconStyleSection(&choice);
        column->addWidget(section);
        page.resize(330, 220);
        page.show();
        page.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&page));
        QScrollArea *row = section->scrollArea();
        QScrollBar *sideways = row->horizontalScrollBar();
        QTRY_VERIFY(sideways->maximum() > 0);
        const QList<IconChoiceButton *> buttons = section->buttons();
        const auto checkWhole = [&](IconChoiceButton *button, const QString &where) {
            const int outset = KeyboardFocusRing::outset;
            const QRect ringed = QRect(button->mapTo(row->viewport(), QPoint(0, 0)), button->size()).adjusted(-outset, 0, outset, 0);
            QVERIFY2(row->viewport()->rect().contains(ringed.left(), 0) && row->viewport()->rect().contains(ringed.right(), 0),
                     qPrintable(QStringLiteral("%1: %2 at %3..%4 in a row %5 wide").arg(where, button->accessibleName()).arg(ringed.left()).arg(ringed.right()).arg(row->viewport()->width())));
        };
        for (const bool forward : {true, false}) {
            // Scrolled to the far end from where the keyboard comes in.
            QApplication::focusWidget() ? QApplication::focusWidget()->clearFocus() : void();
            sideways->setValue(forward ? sideways->maximum() : 0);
            for (int stop = 0; stop < buttons.size(); ++stop) {
                IconChoiceButton *expected = buttons.at(forward ? stop : buttons.size() - 1 - stop);
                QWidget *from = QApplication::focusWidget() ? QApplication::focusWidget() : static_cast<QWidget *>(&page);
                QTest::keyClick(from, forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
                QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(expected));
                checkWhole(expected, QStringLiteral("%1 stop %2").arg(forward ? "Tab" : "Shift+Tab").arg(stop + 1));
                if (QTest::currentTestFailed())
                    return;
            }
        }
    }

    // Every style in the row is named in the language chosen: no title stays a word of no language
    // (the rippled teal style was once "Pelko" in all five).
    void everyStyleIsNamedInTheChosenLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("rippleTitle");
        QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("Ripple");
        QTest::newRow("es") << QStringLiteral("es") << QStringLiteral("Ondas");
        QTest::newRow("ja") << QStringLiteral("ja") << QStringLiteral("波紋");
        QTest::newRow("pt-BR") << QStringLiteral("pt-BR") << QStringLiteral("Ondas");
        QTest::newRow("zh-Hans") << QStringLiteral("zh-Hans") << QStringLiteral("涟漪");
    }

    void everyStyleIsNamedInTheChosenLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, rippleTitle);
        const auto restore = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage(QStringLiteral("en")); });
        LanguageManager::shared().setCurrentLanguage(language);
        EditorDraft draft(groupWith(QStringLiteral("Work"), {itemAt(QStringLiteral("/Applications/Mail.app"))}));
        IconStyleChoice choice(&draft, m_skins.get(), {});
        IconStyleSection section(&choice);
        QStringList titles;
        for (IconChoiceButton *button : section.buttons())
            titles << button->title();
        QVERIFY2(titles.contains(rippleTitle), qPrintable(titles.join(u',')));
        QVERIFY2(!titles.contains(QStringLiteral("Pelko")), qPrintable(titles.join(u',')));
    }

    // A group whose skin lies past the row's visible part opens with that preview in sight; no
    // preview, and so no title, stands cut at the row's edge, whether the row was scrolled to the
    // choice, by its cue or by a swipe.
    void theRowShowsTheChosenStyleAndOnlyWholePreviews()
    {
        AppGroup group = groupWith(QStringLiteral("Work"), {itemAt(QStringLiteral("/Applications/Mail.app"))});
        group.iconStyle = AppGroup::IconStyle::Skin;
        group.skinId = QStringLiteral("tidepool");
        EditorDraft draft(group);
        IconStyleChoice choice(&draft, m_skins.get(), {});
        IconStyleSection section(&choice);
        section.resize(430, 160);
        section.show();
        QVERIFY(QTest::qWaitForWindowExposed(&section));
        QScrollArea *row = section.scrollArea();
        IconChoiceButton *chosen = nullptr;
        for (IconChoiceButton *button : section.buttons()) {
            if (button->isSelected())
                chosen = button;
        }
        QVERIFY(chosen);
        const auto shown = [row](QWidget *button) { return QRect(button->mapTo(row->viewport(), QPoint(0, 0)), button->size()); };
        QTRY_VERIFY2(row->viewport()->rect().contains(shown(chosen)), qPrintable(QStringLiteral("chosen at %1..%2 of %3, row at %4 of %5").arg(shown(chosen).left()).arg(shown(chosen).right()).arg(row->viewport()->width()).arg(row->horizontalScrollBar()->value()).arg(row->horizontalScrollBar()->maximum())));
        const auto cutPreviews = [&] {
            QStringList cut;
            for (IconChoiceButton *button : section.buttons()) {
                const QRect at = shown(button);
                if (row->viewport()->rect().intersects(at) && !row->viewport()->rect().contains(at))
                    cut << QStringLiteral("%1 at %2..%3 of %4").arg(button->accessibleName()).arg(at.left()).arg(at.right()).arg(row->viewport()->width());
            }
            return cut.join(QStringLiteral("; "));
        };
        QCOMPARE(cutPreviews(), QString());
        QTest::mouseClick(section.leadingCue(), Qt::LeftButton, {}, section.leadingCue()->rect().center());
        QTRY_COMPARE(cutPreviews(), QString());
        QWidget *viewport = row->viewport();
        QWheelEvent swipe(viewport->rect().center(), viewport->mapToGlobal(viewport->rect().center()), QPoint(37, 0), QPoint(37, 0),
                          Qt::NoButton, Qt::NoModifier, Qt::ScrollUpdate, false);
        QApplication::sendEvent(viewport, &swipe);
        QCOMPARE(cutPreviews(), QString());
    }

    void previewsAreDrawnFromTheGroupOncePerChange()
    {
        EditorDraft draft(groupWith(QStringLiteral("Work"), {itemAt(QStringLiteral("/Applications/Mail.app"))}));
        IconStyleChoice choice(&draft, m_skins.get(), {});
        IconStyleSection section(&choice);
        section.resize(900, 160);
        section.show();
        QCOMPARE(section.buttons().size(), 6); // three styles, three skins
        section.grab();
        QCOMPARE(compositions(section), QList<int>(6, 1));
        for (IconChoiceButton *button : section.buttons())
            QCOMPARE(button->preview()->apps(), draft.draft().apps);

        AppGroup more = draft.draft();
        more.apps.append(itemAt(QStringLiteral("/tmp/Notes.txt")));
        draft.setDraft(more);
        section.grab();
        section.grab();
        QCOMPARE(compositions(section), QList<int>(6, 2));

        // Choosing a style changes the outline, not the pictures.
        choice.selectIconStyle(AppGroup::IconStyle::Pelko);
        section.grab();
        QCOMPARE(compositions(section), QList<int>(6, 2));
        QVERIFY(section.buttons()[2]->isSelected());

        // While the items are reordered the previews keep the order from before.
        const QList<AppItem> before = draft.draft().apps;
        draft.setReordering(true, before);
        AppGroup reordered = draft.draft();
        std::reverse(reordered.apps.begin(), reordered.apps.end());
        draft.setDraft(reordered);
        section.grab();
        QCOMPARE(compositions(section), QList<int>(6, 2));
        draft.setReordering(false, std::nullopt);
        section.grab();
        QCOMPARE(compositions(section), QList<int>(6, 3));
        QCOMPARE(section.buttons()[0]->preview()->apps(), reordered.apps);
    }

    void choosingStylesAndSkins()
    {
        EditorDraft draft(groupWith(QStringLiteral("Work")));
        SignalLog log;
        IconStyleChoice choice(&draft, m_skins.get(), log.sender());
        const SkinDefinition aurora = *m_skins->skinWithID(QStringLiteral("aurora"));

        choice.selectSkin(aurora);
        QCOMPARE(draft.draft().iconStyle, AppGroup::IconStyle::Skin);
        QCOMPARE(draft.draft().skinId, std::optional<QString>(QStringLiteral("aurora")));
        QVERIFY(choice.isSkinSelected(aurora));
        choice.selectIconStyle(AppGroup::IconStyle::Gradient);
        QCOMPARE(draft.draft().iconStyle, AppGroup::IconStyle::Gradient);
        QVERIFY(!draft.draft().skinId);
        choice.selectSkin(aurora);
        QCOMPARE(draft.draft().skinId, std::optional<QString>(QStringLiteral("aurora")));

        QCOMPARE(log.sent.size(), 3);
        QCOMPARE(log.sent[0].first, QStringLiteral("group.skin_selected"));
        QCOMPARE(log.sent[0].second.value(QStringLiteral("skin")), aurora.localizedSkinName());
        QCOMPARE(log.sent[1].first, QStringLiteral("group.icon_style_changed"));
        QCOMPARE(log.sent[1].second.value(QStringLiteral("style")), iconStyleDisplayName(AppGroup::IconStyle::Gradient));

        // The selected one again: nothing changes, the signal goes once more.
        choice.selectIconStyle(AppGroup::IconStyle::Shelf);
        QSignalSpy changed(&draft, &EditorDraft::draftChanged);
        choice.selectIconStyle(AppGroup::IconStyle::Shelf);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(log.sent.size(), 5);
    }

    void selectionOfRetiredAndMissingChoices()
    {
        AppGroup glass = groupWith(QStringLiteral("Old"));
        glass.iconStyle = AppGroup::IconStyle::Glass;
        EditorDraft draft(glass);
        IconStyleChoice choice(&draft, m_skins.get(), {});
        IconStyleSection section(&choice);
        for (IconChoiceButton *button : section.buttons())
            QVERIFY(!button->isSelected());

        AppGroup missing = glass;
        missing.iconStyle = AppGroup::IconStyle::Skin;
        missing.skinId = QStringLiteral("not-installed");
        draft.setDraft(missing);
        for (IconChoiceButton *button : section.buttons())
            QVERIFY(!button->isSelected());

        // Without skins only the three styles are offered.
        IconStyleChoice bare(&draft, nullptr, {});
        IconStyleSection styles(&bare);
        QCOMPARE(styles.buttons().size(), 3);
    }

    void fanRuleByModeAndAccess()
    {
        QVERIFY(DisplayStyleChoice::isDockTileIntercepted(QStringLiteral("hover"), QStringLiteral("native"), false));
        QVERIFY(DisplayStyleChoice::isDockTileIntercepted(QStringLiteral("click"), QStringLiteral("enhanced"), true));
        QVERIFY(!DisplayStyleChoice::isDockTileIntercepted(QStringLiteral("click"), QStringLiteral("enhanced"), false));
        QVERIFY(!DisplayStyleChoice::isDockTileIntercepted(QStringLiteral("click"), QStringLiteral("native"), true));
        QVERIFY(!DisplayStyleChoice::isDockTileIntercepted(QStringLiteral("click"), QStringLiteral("other"), true));
        QVERIFY(!DisplayStyleChoice::isDockTileIntercepted(QString(), QStringLiteral("enhanced"), true));
        QVERIFY(!DisplayStyleChoice::isDockTileIntercepted(QStringLiteral("Hover"), QStringLiteral("enhanced"), true));
    }

    void hintAndFanFollowSettingsAndAccessLive()
    {
        AppGroup fan = groupWith(QStringLiteral("Fan"));
        fan.displayStyle = AppGroup::DisplayStyle::Fan;
        EditorDraft draft(fan);
        FakePermissions permissions;
        SignalLog log;
        DisplayStyleChoice choice(&draft, &permissions, UserDefaults::standard(), log.sender());
        DisplayStyleSection section(&choice);
        // Default: click, enhanced, no access.
        QVERIFY(section.hint()->isHidden());
        QVERIFY(section.segments()[0]->isEnabled());

        permissions.setGranted(true);
        QVERIFY(!section.hint()->isHidden());
        QVERIFY(!section.segments()[0]->isEnabled());
        QVERIFY(section.segments()[0]->isSelected()); // still raised, in the disabled colour
        QCOMPARE(section.segments()[0]->foreground(), section.segments()[0]->palette().color(QPalette::Window).lightnessF() < 0.45
                                                          ? colorFromHex(0x6F6F6F)
                                                          : colorFromHex(0xBBBBBB));

        choice.selectDisplayStyle(AppGroup::DisplayStyle::Fan);
        QVERIFY(log.sent.isEmpty());
        QTest::mouseClick(section.segments()[1], Qt::LeftButton);
        QCOMPARE(draft.draft().displayStyle, AppGroup::DisplayStyle::Grid);
        QTest::mouseClick(section.segments()[1], Qt::LeftButton);
        QCOMPARE(log.sent.size(), 2);
        QCOMPARE(log.sent[1].first, QStringLiteral("group.display_style_changed"));
        QCOMPARE(log.sent[1].second.value(QStringLiteral("style")), localized(QStringLiteral("group.style.grid")));

        UserDefaults::standard().setValue(QStringLiteral("clickModeBehavior"), QStringLiteral("native"));
        QVERIFY(section.hint()->isHidden());
        QVERIFY(section.segments()[0]->isEnabled());
        UserDefaults::standard().setValue(QStringLiteral("interactionMode"), QStringLiteral("hover"));
        permissions.setGranted(false);
        QVERIFY(!section.hint()->isHidden()); // hover intercepts even without access
    }
};

KESTROWAN_TEST_MAIN(TestEditorStyles)
#include "tst_editorstyles.moc"
