// The shortcut recorder: recording, conflicts with other groups, reset to the default, combinations
// that would catch ordinary typing, and a group that is not stored yet.
#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/EditorPillButton.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/editor/KeyboardShortcutStore.h"
#include "Kestrowan/editor/OpenerRulesEditor.h"
#include "Kestrowan/editor/OpenerSection.h"
#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/editor/ShortcutRecorder.h"
#include "Kestrowan/editor/ShortcutSection.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/TestMain.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollArea>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

constexpr quint64 control = GroupShortcut::controlModifier;
constexpr quint64 shift = GroupShortcut::shiftModifier;
constexpr quint64 option = GroupShortcut::optionModifier;
constexpr quint64 capsLock = 0x10000;
constexpr quint16 key1 = 18, keyA = 0, keyEscape = 53;

// Reads a test key event: the native virtual key carries the code, the modifiers map as the
// platform's flags. Modifier keys alone have no code.
std::optional<ShortcutRecorder::KeyPress> translate(const QKeyEvent &event)
{
    if (event.key() == Qt::Key_Control || event.key() == Qt::Key_Shift)
        return std::nullopt;
    quint64 flags = 0;
    if (event.modifiers() & Qt::ControlModifier)
        flags |= control;
    if (event.modifiers() & Qt::ShiftModifier)
        flags |= shift;
    if (event.modifiers() & Qt::AltModifier)
        flags |= option;
    return ShortcutRecorder::KeyPress{quint16(event.nativeVirtualKey()), flags};
}

} // namespace

class TestShortcutRecorder : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<GroupManager> m_store;
    FakeShortcutStore m_shortcuts;
    AppGroup m_group;
    AppGroup m_other;

private slots:
    void init()
    {
        m_store = makeStore(m_dir);
        m_group = m_store->createGroup();
        m_other = m_store->createGroup();
        m_shortcuts.list = {{m_other.id, key1, control}};
        m_shortcuts.groupOrder = {m_group.id, m_other.id};
    }

    void recordsACombinationWithAModifier()
    {
        EditorDraft draft(m_group);
        ShortcutRecorder recorder(&draft, &m_shortcuts, m_store.get(), translate);
        QVERIFY(recorder.canRecord());
        recorder.toggleRecording();
        QVERIFY(recorder.isRecording());
        QVERIFY(recorder.isMonitoring());

        // Ordinary keys go on as usual and the recording waits.
        QVERIFY(!recorder.handleKeyPress(keyA, 0));
        QVERIFY(!recorder.handleKeyPress(keyEscape, capsLock));
        QVERIFY(recorder.isRecording());

        QVERIFY(recorder.handleKeyPress(keyA, control | option | capsLock));
        QVERIFY(!recorder.isRecording());
        QVERIFY(!recorder.isMonitoring());
        QCOMPARE(recorder.currentShortcut()->keyCode, keyA);
        QCOMPARE(recorder.currentShortcut()->modifierRawValue, control | option);
    }

    void shiftAloneIsRefusedWithAHint()
    {
        EditorDraft draft(m_group);
        ShortcutRecorder recorder(&draft, &m_shortcuts, m_store.get(), translate);
        recorder.toggleRecording();
        QVERIFY(recorder.handleKeyPress(keyA, shift)); // used up: a capital must not be typed meanwhile
        QVERIFY(recorder.needsModifier());
        QVERIFY(recorder.isRecording());
        QVERIFY(!recorder.currentShortcut());
        QVERIFY(recorder.handleKeyPress(keyA, shift | control));
        QVERIFY(!recorder.needsModifier());
        QCOMPARE(recorder.currentShortcut()->modifierRawValue, shift | control);
    }

    void anotherGroupsCombinationIsAConflict()
    {
        m_shortcuts.list.append({m_group.id, keyA, control});
        EditorDraft draft(m_group);
        ShortcutRecorder recorder(&draft, &m_shortcuts, m_store.get(), translate);
        recorder.toggleRecording();
        // Caps lock makes no difference to the comparison.
        QVERIFY(recorder.handleKeyPress(key1, control | capsLock));
        QVERIFY(recorder.hasConflict());
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.currentShortcut()->keyCode, keyA); // kept as it was

        // The group's own combination is no conflict; starting again clears the message.
        recorder.toggleRecording();
        QVERIFY(!recorder.hasConflict());
        QVERIFY(recorder.handleKeyPress(keyA, control));
        QVERIFY(!recorder.hasConflict());
        QCOMPARE(m_shortcuts.list.size(), 2);
    }

    // The Reset button of a stored group is a control that works: its word reads at 4.5:1 or more
    // on its pill in both looks, not in the faint grey that says "disabled".
    void anEnabledResetDoesNotLookDisabled()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            EditorDraft draft(m_group);
            ShortcutRecorder recorder(&draft, &m_shortcuts, m_store.get(), translate);
            QWidget window;
            window.setAutoFillBackground(true);
            auto *column = new QVBoxLayout(&window);
            auto *section = new ShortcutSection(&recorder);
            column->addWidget(section);
            window.resize(480, 200);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(section->resetButton()->isEnabled());
            const double ratio = drawnTextContrast(section->resetButton(), 2);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("Reset (%1): %2").arg(dark ? "dark" : "light").arg(ratio)));
        }
    }

    void resetGivesTheDefaultBack()
    {
        EditorDraft draft(m_group);
        ShortcutRecorder recorder(&draft, &m_shortcuts, m_store.get(), translate);
        recorder.toggleRecording();
        recorder.handleKeyPress(key1, control); // taken by the other group
        QVERIFY(recorder.hasConflict());
        recorder.resetToDefault();
        QVERIFY(!recorder.hasConflict());
        QCOMPARE(m_shortcuts.defaultsAssigned, 1);
        QCOMPARE(*recorder.currentShortcut(), (GroupShortcut{m_group.id, key1, control}));
    }

    void aGroupNotYetStoredWaitsForItsIdentifier()
    {
        AppGroup fresh = groupWith(QString());
        EditorDraft draft(fresh);
        DraftChangeHandler handler(&draft, m_store.get(), true);
        ShortcutRecorder recorder(&draft, &m_shortcuts, m_store.get(), translate);
        ShortcutSection section(&recorder);
        QVERIFY(!recorder.canRecord());
        recorder.toggleRecording();
        QVERIFY(!recorder.isRecording());
        QVERIFY(!section.recordButton()->isEnabled());
        QVERIFY(!section.resetButton()->isEnabled());
        QVERIFY(!section.saveFirstLine()->isHidden());
        recorder.resetToDefault();
        QVERIFY(m_shortcuts.list.size() == 1); // nothing under the draft's passing identifier

        AppGroup named = draft.draft();
        named.name = QStringLiteral("Design");
        draft.setDraft(named);
        QVERIFY(draft.groupID() != fresh.id); // stored under the store's identifier
        QVERIFY(recorder.canRecord());
        QVERIFY(section.recordButton()->isEnabled());
        QVERIFY(section.saveFirstLine()->isHidden());
        recorder.toggleRecording();
        QVERIFY(recorder.handleKeyPress(keyA, option));
        QCOMPARE(recorder.currentShortcut()->groupID, draft.groupID());
    }

    void aSectionOutlivingItsRecorderIsHarmless()
    {
        EditorDraft draft(m_group);
        auto recorder = std::make_unique<ShortcutRecorder>(&draft, &m_shortcuts, m_store.get(), translate);
        ShortcutSection section(recorder.get());
        section.show();
        recorder.reset();
        section.hide();
    }

    void platformKeysAndModifiers()
    {
        const ShortcutRecorder::KeyTranslator translate = ShortcutRecorder::platformKeyTranslator();
        const QKeyEvent combination(QEvent::KeyPress, Qt::Key_1, Qt::ControlModifier | Qt::MetaModifier | Qt::KeypadModifier);
        const std::optional<ShortcutRecorder::KeyPress> press = translate(combination);
        QVERIFY(press);
        QCOMPARE(press->keyCode, key1);
        QCOMPARE(press->modifierFlags, control | GroupShortcut::commandModifier);
        // A modifier key alone is no key press to record.
        QVERIFY(!translate(QKeyEvent(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier)));
        QVERIFY(!translate(QKeyEvent(QEvent::KeyPress, Qt::Key_Meta, Qt::MetaModifier)));

        // Through the program's shortcut service: only the four modifier bits are kept.
        KeyboardShortcutService service;
        KeyboardShortcutStore store(&service);
        QSignalSpy changed(&store, &GroupShortcutStore::shortcutsChanged);
        store.setGroupShortcut(m_group.id, keyA, control | capsLock);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(store.shortcuts(), (QList<GroupShortcut>{{m_group.id, keyA, control}}));
    }

    // In each language: the Shift-alone hint names the modifiers as every shortcut on this
    // desktop is written, and never another platform's keys.
    void keyPressesReachTheRecorderThroughTheApplication_data()
    {
        QTest::addColumn<QString>("language");
        for (const char *language : {"en", "es", "ja", "pt-BR", "zh-Hans"})
            QTest::newRow(language) << QString::fromLatin1(language);
    }

    void keyPressesReachTheRecorderThroughTheApplication()
    {
        QFETCH(QString, language);
        LanguageManager::shared().setCurrentLanguage(language);
        const auto restoreLanguage = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage(QStringLiteral("en")); });
        EditorDraft draft(m_group);
        ShortcutRecorder recorder(&draft, &m_shortcuts, m_store.get(), translate);
        auto section = std::make_unique<ShortcutSection>(&recorder);
        QLineEdit field;
        field.show();
        field.setFocus();
        section->show();

        QTest::mouseClick(section->recordButton(), Qt::LeftButton);
        QTest::mouseClick(section->recordButton(), Qt::LeftButton); // cancel
        QTest::mouseClick(section->recordButton(), Qt::LeftButton); // record again: still one watch
        QVERIFY(recorder.isRecording());
        QCOMPARE(section->chip()->state(), ShortcutChip::State::Recording);

        QKeyEvent plain(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 0, keyA, 0, QStringLiteral("a"));
        QApplication::sendEvent(&field, &plain);
        QCOMPARE(field.text(), QStringLiteral("a")); // typing goes on
        QKeyEvent shifted(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, 0, keyA, 0, QStringLiteral("A"));
        QApplication::sendEvent(&field, &shifted);
        QCOMPARE(field.text(), QStringLiteral("a")); // refused and used up
        QVERIFY(!section->modifierLine()->isHidden());
        const QString hint = section->modifierLine()->text();
        QStringList modifiers = KeyNotation::text(GroupShortcut::commandModifier | control | option, QStringLiteral("A")).split(u'+');
        modifiers.removeLast();
        QCOMPARE(modifiers.size(), 3);
        for (const QString &name : std::as_const(modifiers))
            QVERIFY2(hint.contains(name), qPrintable(hint));
        for (const char *foreign : {"Command", "Option", "Control", "Comando", "Opción", "⌘", "⌥", "⌃", "⇧"})
            QVERIFY2(!hint.contains(QString::fromUtf8(foreign)), qPrintable(hint));
        QKeyEvent combination(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier, 0, keyA, 0, QString());
        QApplication::sendEvent(&field, &combination);
        QVERIFY(!recorder.isRecording());
        QCOMPARE(section->chip()->state(), ShortcutChip::State::Shortcut);
        QCOMPARE(section->chip()->text(), (GroupShortcut{m_group.id, keyA, control | option}).displayString());

        // Leaving the page ends a recording; later presses are not taken.
        recorder.toggleRecording();
        section->hide();
        QVERIFY(!recorder.isRecording());
        QVERIFY(!recorder.isMonitoring());
        QKeyEvent later(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier, 0, 11, 0, QString());
        QApplication::sendEvent(&field, &later);
        QCOMPARE(recorder.currentShortcut()->keyCode, keyA);
    }

    // Mend: on the page, the Shift-alone hint and the conflict line are scrolled into sight above
    // the bottom bar, and the hint goes when the recording is cancelled.
    void theRefusalLinesShowAboveTheBarAndTheHintEndsWithTheRecording()
    {
        m_shortcuts.list = {{m_other.id, keyA, control}};
        AppGroup group = m_group;
        group.name = QStringLiteral("Keys");
        group.apps = {itemAt(QStringLiteral("/etc/hosts"))};
        m_store->updateGroup(group);
        GroupEditorServices services;
        services.groupManager = m_store.get();
        services.shortcutStore = &m_shortcuts;
        services.keyTranslator = translate;
        GroupEditorPage page(services, group, false, [] {});
        page.resize(620, 540);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(page.syncBar()->isVisible());
        auto *section = page.findChild<ShortcutSection *>();
        QVERIFY(section);
        const auto inSight = [&page](QWidget *line) {
            const QRect onPage(line->mapTo(&page, QPoint(0, 0)), line->size());
            const QRect viewport(page.scrollArea()->viewport()->mapTo(&page, QPoint(0, 0)), page.scrollArea()->viewport()->size());
            return line->isVisible() && viewport.contains(onPage) && onPage.bottom() < page.syncBar()->geometry().top();
        };
        QVERIFY(!inSight(section->recordButton()));
        page.scrollArea()->ensureWidgetVisible(section->recordButton());
        QTest::mouseClick(section->recordButton(), Qt::LeftButton);
        QVERIFY(m_shortcuts.list.size() == 1 && section->chip()->state() == ShortcutChip::State::Recording);
        page.scrollArea()->verticalScrollBar()->setValue(0);

        QTest::keyClick(&page, Qt::Key_A, Qt::ShiftModifier);
        QTRY_VERIFY_WITH_TIMEOUT(inSight(section->modifierLine()), 10000);
        QTest::mouseClick(section->recordButton(), Qt::LeftButton); // cancel
        QVERIFY(!section->modifierLine()->isVisible());
        QVERIFY(!section->modifierLine()->isVisibleTo(section));

        page.scrollArea()->verticalScrollBar()->setValue(0);
        page.scrollArea()->ensureWidgetVisible(section->recordButton());
        QTest::mouseClick(section->recordButton(), Qt::LeftButton);
        page.scrollArea()->verticalScrollBar()->setValue(0);
        QTest::keyClick(&page, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(section->conflictLine()->isVisibleTo(section));
        QTRY_VERIFY_WITH_TIMEOUT(inSight(section->conflictLine()), 10000);

        // Whatever the window's height, from one where the page scrolls far to one where it
        // hardly scrolls, the end of the page comes clear of the bar: the line is read in full.
        for (int height = 420; height <= 1020; height += 40) {
            page.resize(620, height);
            QTRY_COMPARE(page.syncBar()->geometry().bottom(), height - 19);
            page.scrollArea()->ensureWidgetVisible(section->recordButton());
            QTest::mouseClick(section->recordButton(), Qt::LeftButton); // records afresh
            QVERIFY(!section->conflictLine()->isVisibleTo(section));
            page.scrollArea()->verticalScrollBar()->setValue(0);
            QTest::keyClick(&page, Qt::Key_A, Qt::ControlModifier);
            QVERIFY(section->conflictLine()->isVisibleTo(section));
            const auto where = [&] {
                QWidget *line = section->conflictLine();
                const QRect onPage(line->mapTo(&page, QPoint(0, 0)), line->size());
                return QStringLiteral("%1: line %2..%3 (%4), bar from %5, view %6, scroll %7 of %8")
                    .arg(height).arg(onPage.top()).arg(onPage.bottom()).arg(line->isVisible())
                    .arg(page.syncBar()->geometry().top()).arg(page.scrollArea()->viewport()->height())
                    .arg(page.scrollArea()->verticalScrollBar()->value()).arg(page.scrollArea()->verticalScrollBar()->maximum());
            };
            QTRY_VERIFY2_WITH_TIMEOUT(inSight(section->conflictLine()), qPrintable(where()), 10000);
        }
    }
};

KESTROWAN_TEST_MAIN(TestShortcutRecorder)
#include "tst_shortcutrecorder.moc"
