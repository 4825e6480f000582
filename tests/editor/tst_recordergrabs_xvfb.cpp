// The shortcut recorder on a real X server while the groups' hot keys are grabbed: the keys are
// typed through XTest, as a user types them.
#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorPillButton.h"
#include "Kestrowan/editor/KeyboardShortcutStore.h"
#include "Kestrowan/editor/ShortcutRecorder.h"
#include "Kestrowan/editor/ShortcutSection.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/support/TestMain.h"

#include <QTemporaryDir>
#include <QVBoxLayout>

using namespace XTestKeys;

class TestRecorderGrabsXvfb : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<GroupManager> m_store;
    KeyboardShortcutService m_service;
    XTestKeyboard m_keyboard;
    QList<QUuid> m_triggered;
    AppGroup m_first, m_second;

    // The editor's shortcut section for the second group, in a window of its own with the keyboard.
    struct Window {
        QWidget window;
        KeyboardShortcutStore *store;
        EditorDraft *draft;
        ShortcutRecorder *recorder;
        ShortcutSection *section;

        Window(KeyboardShortcutService *service, GroupManager *groups, const AppGroup &group)
        {
            store = new KeyboardShortcutStore(service, &window);
            draft = new EditorDraft(group, &window);
            recorder = new ShortcutRecorder(draft, store, groups, ShortcutRecorder::platformKeyTranslator(), &window);
            section = new ShortcutSection(recorder);
            (new QVBoxLayout(&window))->addWidget(section);
            window.resize(420, 160);
            window.show();
            window.activateWindow();
        }
    };

    // Control+1, the first group's hot key, until it opens the first group (the grab is the X
    // server's to set up; a press before it is in place goes elsewhere).
    bool hotKeyOpensTheFirstGroup()
    {
        return QTest::qWaitFor([&] {
            const qsizetype before = m_triggered.size();
            m_keyboard.chord({controlL}, '1');
            return QTest::qWaitFor([&] { return m_triggered.size() > before; }, 1000);
        }, 20000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_keyboard.isValid(), "needs an X server");
        useSourceResources();
        m_store = makeStore(m_dir);
        m_first = m_store->createGroup();
        m_second = m_store->createGroup();
        m_service.setGroupManager(m_store.get());
        m_service.onTriggerGroup = [this](const QUuid &id) { m_triggered.append(id); };
        m_service.installHotKeyHandler();
        m_service.reconcileShortcuts({m_first.id, m_second.id});
        QVERIFY(m_service.isShortcutActive(m_first.id));
        QVERIFY(hotKeyOpensTheFirstGroup());
        QCOMPARE(m_triggered.last(), m_first.id);
    }

    void cleanupTestCase() { m_service.stopHotKeys(); }

    // Recording for the second group, Control+1 reaches the recorder, which says another group
    // uses it; the first group's popup does not open. Then the hot key works again.
    void aCombinationAGroupHoldsIsSeenAsAConflict()
    {
        Window window(&m_service, m_store.get(), m_second);
        QVERIFY(QTest::qWaitForWindowActive(&window.window));
        QTest::mouseClick(window.section->recordButton(), Qt::LeftButton);
        QVERIFY(window.recorder->isRecording());
        const qsizetype triggered = m_triggered.size();
        // Typed until the recorder has it: the window may take a moment to get the keyboard.
        QVERIFY(QTest::qWaitFor([&] {
            m_keyboard.chord({controlL}, '1');
            return QTest::qWaitFor([&] { return !window.recorder->isRecording(); }, 1000);
        }, 20000));
        QVERIFY(window.recorder->hasConflict());
        QVERIFY(window.section->conflictLine()->isVisible());
        QCOMPARE(window.section->conflictLine()->text(), localized(QStringLiteral("editor.shortcut.conflict")));
        QCOMPARE(m_triggered.size(), triggered);
        QVERIFY(hotKeyOpensTheFirstGroup());
        QCOMPARE(m_triggered.last(), m_first.id);
    }

    // A recording that ends with the window closing, or with Cancel, gives the hot keys back.
    void theHotKeysComeBackHoweverTheRecordingEnds()
    {
        {
            Window window(&m_service, m_store.get(), m_second);
            QTest::mouseClick(window.section->recordButton(), Qt::LeftButton);
            QVERIFY(window.recorder->isRecording());
            QVERIFY(!m_service.isShortcutActive(m_first.id));
            window.window.close();
            QVERIFY(!window.recorder->isRecording());
            QVERIFY(hotKeyOpensTheFirstGroup());

            window.window.show();
            QTest::mouseClick(window.section->recordButton(), Qt::LeftButton);
            QVERIFY(window.recorder->isRecording());
            QTest::mouseClick(window.section->recordButton(), Qt::LeftButton); // Cancel
            QVERIFY(!window.recorder->isRecording());
            QVERIFY(hotKeyOpensTheFirstGroup());

            // Destroyed while recording.
            QTest::mouseClick(window.section->recordButton(), Qt::LeftButton);
            QVERIFY(!m_service.isShortcutActive(m_first.id));
        }
        QVERIFY(hotKeyOpensTheFirstGroup());
        QCOMPARE(m_triggered.last(), m_first.id);
    }
};

KESTROWAN_TEST_MAIN(TestRecorderGrabsXvfb)
#include "tst_recordergrabs_xvfb.moc"
