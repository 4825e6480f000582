// The popup's keyboard and name field, driven through the content model: search typing, focus
// movement, the command keys, and renaming. Also the one translation of Qt's keys and modifiers
// into the platform's key codes and flags, which every key of the popup goes through.
#include "Kestrowan/popup/PopupContentModel.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Platform/VirtualKeys.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "tests/popup/PopupTestSupport.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>

using namespace PopupTest;
using Style = AppGroup::DisplayStyle;
namespace VK = VirtualKeys;

namespace {

constexpr quint16 key1 = 18, key3 = 20, key9 = 25, keyH = 4;
constexpr quint64 command = VK::commandFlag;

} // namespace

class PopupKeysTest : public QObject {
    Q_OBJECT

    FakeWorkspaceOpener m_opener;
    SignalRecorder m_signals;
    RecordingItemStates m_states;
    std::unique_ptr<PopupLauncher> m_launcher;
    int m_dismissals = 0;
    int m_edits = 0;
    QStringList m_renames;

    std::unique_ptr<PopupContentModel> model(const AppGroup &group)
    {
        PopupContentModel::Inputs inputs;
        inputs.group = group;
        inputs.onDismiss = [this] { ++m_dismissals; };
        inputs.onEdit = [this] { ++m_edits; };
        inputs.onRenameGroup = [this](const QString &name) { m_renames.append(name); };
        return std::make_unique<PopupContentModel>(inputs, *m_launcher);
    }
    QStringList openedPaths() const
    {
        QStringList paths;
        for (const auto &request : m_opener.requests)
            paths.append(request.url.toLocalFile());
        return paths;
    }
    static int focus(const PopupContentModel &model) { return model.focusedIndex().value_or(-1); }

private slots:
    void init()
    {
        m_opener.requests.clear();
        m_signals.sent.clear();
        m_states.opened.clear();
        m_launcher = std::make_unique<PopupLauncher>(&m_states, m_signals.sink(), &m_opener);
        m_dismissals = m_edits = 0;
        m_renames.clear();
    }

    void commandIsSuper()
    {
        QCOMPARE(VK::modifierFlags(Qt::MetaModifier), VK::commandFlag);
        QCOMPARE(VK::modifierFlags(Qt::AltModifier), VK::optionFlag);
        QCOMPARE(VK::modifierFlags(Qt::ControlModifier), VK::controlFlag);
        QCOMPARE(VK::modifierFlags(Qt::ShiftModifier | Qt::MetaModifier), VK::shiftFlag | VK::commandFlag);
        QCOMPARE(VK::modifierFlags(Qt::KeypadModifier | Qt::GroupSwitchModifier), quint64(0));
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_A), std::optional<quint16>(VK::keyA));
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_3), std::optional<quint16>(key3));
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_NumberSign), std::optional<quint16>(key3)); // Shift+3
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_Backtab), std::optional<quint16>(VK::keyTab));
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_Backspace), std::optional<quint16>(VK::keyDelete));
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_Escape), std::optional<quint16>(VK::keyEscape));
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_Comma), std::optional<quint16>(VK::keyComma));
        QCOMPARE(VK::keyCodeForQtKey(Qt::Key_VolumeUp), std::nullopt);
    }

    void listNavigation()
    {
        auto popup = model(numberedGroup(5, Style::List));
        popup->handleKey(VK::keyUpArrow, 0, {});
        popup->handleKey(VK::keyLeftArrow, 0, {});
        QCOMPARE(focus(*popup), -1);
        popup->handleKey(VK::keyReturn, 0, {});
        QVERIFY(m_opener.requests.isEmpty());
        popup->handleKey(VK::keyDownArrow, 0, {});
        QCOMPARE(focus(*popup), 0);
        popup->handleKey(VK::keyTab, VK::shiftFlag, {});
        QCOMPARE(focus(*popup), 1);
        popup->handleKey(VK::keyRightArrow, command, {}); // Command does not change navigation
        QCOMPARE(focus(*popup), 2);
        for (int i = 0; i < 4; ++i)
            popup->handleKey(VK::keyDownArrow, 0, {});
        QCOMPARE(focus(*popup), 4); // never wraps
        popup->handleKey(VK::keyUpArrow, 0, {});
        QCOMPARE(focus(*popup), 3);
        popup->handleKey(VK::keyReturn, 0, {});
        QCOMPARE(m_states.opened, QStringList({"App 4"}));
        QCOMPARE(m_dismissals, 1);
    }

    void gridNavigation_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("to");
        QTest::newRow("down from none") << -1 << int(VK::keyDownArrow) << 3;
        QTest::newRow("tab from none") << -1 << int(VK::keyTab) << 3;
        QTest::newRow("right from none") << -1 << int(VK::keyRightArrow) << 0;
        QTest::newRow("left from none") << -1 << int(VK::keyLeftArrow) << -1;
        QTest::newRow("up from none") << -1 << int(VK::keyUpArrow) << -1;
        QTest::newRow("down a row") << 1 << int(VK::keyDownArrow) << 5;
        QTest::newRow("down past the end steps right") << 8 << int(VK::keyDownArrow) << 9;
        QTest::newRow("down on the last") << 9 << int(VK::keyDownArrow) << 9;
        QTest::newRow("up a row") << 6 << int(VK::keyUpArrow) << 2;
        QTest::newRow("up from the first row steps left") << 2 << int(VK::keyUpArrow) << 1;
        QTest::newRow("up from the first") << 0 << int(VK::keyUpArrow) << 0;
        QTest::newRow("right on the last") << 9 << int(VK::keyRightArrow) << 9;
        QTest::newRow("left on the first") << 0 << int(VK::keyLeftArrow) << 0;
        QTest::newRow("another key") << 4 << int(VK::keyEscape + 1) << 4;
    }
    void gridNavigation()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, to);
        auto popup = model(numberedGroup(10, Style::Grid));
        for (int i = 0; i <= from; ++i)
            popup->handleKey(VK::keyRightArrow, 0, {});
        QCOMPARE(focus(*popup), from);
        popup->handleKey(quint16(key), 0, {});
        QCOMPARE(focus(*popup), to);
    }

    void returnWithOneItem()
    {
        auto popup = model(numberedGroup(1, Style::List));
        popup->handleKey(VK::keyReturn, 0, {});
        QCOMPARE(m_states.opened, QStringList({"App 1"}));
        QCOMPARE(m_dismissals, 1);
    }

    void commandDigits()
    {
        auto two = model(numberedGroup(2));
        two->handleKey(key3, command, QStringLiteral("3"));
        QVERIFY(m_opener.requests.isEmpty());
        QCOMPARE(m_dismissals, 0);
        QCOMPARE(two->searchText(), QString()); // a command never types
        auto three = model(numberedGroup(3));
        three->handleKey(key3, command, QStringLiteral("3"));
        QCOMPARE(m_states.opened, QStringList({"App 3"}));
        QCOMPARE(m_dismissals, 1);
        // The digits follow the filtered list, not the group.
        auto twelve = model(numberedGroup(12));
        twelve->handleKey(key1, 0, QStringLiteral("1"));
        QCOMPARE(twelve->searchText(), QStringLiteral("1")); // App 1, App 10, App 11, App 12
        twelve->handleKey(key3, command, QStringLiteral("3"));
        QCOMPARE(m_states.opened.last(), QStringLiteral("App 11"));
        twelve->handleKey(key9, command, QStringLiteral("9"));
        QCOMPARE(m_states.opened.size(), 2);
    }

    void commandAAndComma()
    {
        AppGroup group = numberedGroup(2);
        group.apps.append(document(QStringLiteral("Notes"), QStringLiteral("/tmp/notes.txt")));
        auto popup = model(group);
        popup->handleKey(VK::keyComma, command, QStringLiteral(","));
        QCOMPARE(m_edits, 1);
        popup->handleKey(VK::keyComma, 0, QStringLiteral(","));
        QCOMPARE(m_edits, 1);
        QCOMPARE(popup->searchText(), QStringLiteral(",")); // without Command a comma types
        popup->handleKey(VK::keyDelete, 0, {});
        popup->handleKey(VK::keyA, command, QStringLiteral("a"));
        QCOMPARE(m_states.opened, QStringList({"App 1", "App 2"}));
        QCOMPARE(m_dismissals, 1);
        // Without Command the A key types.
        popup->handleKey(VK::keyA, 0, QStringLiteral("a"));
        QCOMPARE(popup->searchText(), QStringLiteral("a"));
    }

    void typingAndDeleting()
    {
        auto popup = model(numberedGroup(6, Style::List));
        popup->handleKey(VK::keyDownArrow, 0, {});
        popup->handleKey(VK::keyDelete, 0, {});
        QCOMPARE(focus(*popup), 0); // Delete on an empty search keeps the focus
        QVERIFY(!popup->isSearchActive());
        popup->handleKey(keyH, VK::controlFlag, QStringLiteral("h"));
        QCOMPARE(popup->searchText(), QString()); // Control with a letter does not type
        popup->handleKey(VK::keyA, VK::shiftFlag, QStringLiteral("A"));
        popup->handleKey(VK::keySpace, 0, QStringLiteral(" "));
        popup->handleKey(VK::keyA, VK::optionFlag, QStringLiteral("å"));
        QCOMPARE(popup->searchText(), QStringLiteral("A å"));
        QVERIFY(popup->isSearchActive());
        QCOMPARE(focus(*popup), -1);
        popup->handleKey(VK::keyDownArrow, 0, {});
        popup->handleKey(VK::keyDelete, 0, {});
        QCOMPARE(popup->searchText(), QStringLiteral("A "));
        QCOMPARE(focus(*popup), -1);
        popup->handleKey(VK::keyDelete, command, {}); // whatever the modifiers
        popup->handleKey(VK::keyDelete, 0, {});
        QCOMPARE(popup->searchText(), QString());
        QVERIFY(!popup->isSearchActive());
        // Characters outside the basic plane go as one.
        popup->handleKey(VK::keyA, 0, QStringLiteral("𝔸"));
        popup->handleKey(VK::keyDelete, 0, {});
        QCOMPARE(popup->searchText(), QString());
    }

    void clearingTheSearch()
    {
        auto popup = model(numberedGroup(3, Style::List));
        popup->activateSearch();
        QVERIFY(popup->isSearchActive());
        popup->handleKey(key1, 0, QStringLiteral("1"));
        popup->handleKey(VK::keyDownArrow, 0, {});
        QCOMPARE(focus(*popup), 0);
        popup->clearSearch();
        QCOMPARE(popup->searchText(), QString());
        QVERIFY(!popup->isSearchActive());
        QCOMPARE(focus(*popup), -1);
    }

    void renaming()
    {
        QSignalSpy ended(&PopupNotifications::center(), &PopupNotifications::popupTextFieldEditingEnded);
        auto popup = model(numberedGroup(2));
        QCOMPARE(popup->displayName(), QStringLiteral("Numbered"));
        popup->beginRename();
        QCOMPARE(popup->editingName(), QStringLiteral("Numbered"));
        // While the name is edited the popup ignores its keys.
        popup->handleKeyNotification(VK::keyA, 0, QStringLiteral("a"));
        popup->handleKeyNotification(VK::keyA, command, QStringLiteral("a"));
        QCOMPARE(popup->searchText(), QString());
        QVERIFY(m_opener.requests.isEmpty());
        popup->setEditingName(QStringLiteral("  Work\n"));
        popup->commitRename();
        QCOMPARE(popup->displayName(), QStringLiteral("Work"));
        QCOMPARE(m_renames, QStringList({"Work"}));
        QVERIFY(!popup->isEditingName());
        QCOMPARE(ended.size(), 1);
        popup->commitRename(); // a second end changes nothing
        QCOMPARE(ended.size(), 1);

        // A blank name is ignored but still ends the editing.
        popup->beginRename();
        popup->setEditingName(QStringLiteral(" \t "));
        popup->commitRename();
        QCOMPARE(popup->displayName(), QStringLiteral("Work"));
        QCOMPARE(m_renames, QStringList({"Work"}));
        QVERIFY(!popup->isEditingName());
        QCOMPARE(ended.size(), 2);
        popup->handleKeyNotification(VK::keyA, 0, QStringLiteral("a"));
        QCOMPARE(popup->searchText(), QStringLiteral("a"));
    }
};

KESTROWAN_TEST_MAIN(PopupKeysTest)
#include "tst_popupkeys.moc"
