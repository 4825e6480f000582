// Two programs on two displays sharing one home rename the same group at once: the user here types
// in the editor's name field while the other program saves names of its own. The field is never
// rewritten under the keys, the name kept is one of the two typed whole, both programs end on it,
// and the user whose name gave way is told.

#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Platform/UserDefaults.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/TestMain.h"

#include <QLineEdit>
#include <QProcess>

namespace {

constexpr int timeout = 30000;
constexpr int rounds = 20;

// The other program, driven line by line.
class OtherProgram {
public:
    OtherProgram(const QString &storage, const QUuid &id)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(RENAME_PEER_PATH), {storage, ModelJson::uuidText(id)});
    }
    ~OtherProgram()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.write("quit\n");
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(timeout))
            m_process.kill();
    }

    void rename(const QString &name) { m_process.write((QStringLiteral("rename ") + name + u'\n').toUtf8()); }
    // Whether it has printed this line (reading what came so far).
    bool said(const QString &line)
    {
        m_output += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_output.split(u'\n').contains(line);
    }
    // The name it holds now, as it last said.
    QString name()
    {
        said({});
        QString last = m_loaded;
        for (const QString &line : m_output.split(u'\n')) {
            if (line.startsWith(QLatin1String("name ")) || line.startsWith(QLatin1String("saved ")))
                last = line.section(u' ', 1);
        }
        return last;
    }
    void setLoadedName(const QString &name) { m_loaded = name; }

private:
    QProcess m_process;
    QString m_output;
    QString m_loaded;
};

} // namespace

class TestEditorRename : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<GroupManager> m_store;
    std::unique_ptr<FakeDockSync> m_dock;

    QString storedName(const QUuid &id) const
    {
        for (const AppGroup &group : m_store->groups()) {
            if (group.id == id)
                return group.name;
        }
        return {};
    }
    QString nameInFile(const QUuid &id) const
    {
        for (const AppGroup &group : storedGroups(*m_store)) {
            if (group.id == id)
                return group.name;
        }
        return {};
    }

    // A stored group of this name, and the other program with it loaded.
    AppGroup storedGroup(const QString &name)
    {
        AppGroup group = m_store->createGroup();
        group.name = name;
        m_store->updateGroup(group);
        m_store->waitUntilSaved();
        return group;
    }
    bool otherProgramLoaded(OtherProgram &other, const AppGroup &group)
    {
        other.setLoadedName(group.name);
        return QTest::qWaitFor([&other] { return other.said(QStringLiteral("loaded")); }, timeout);
    }
    // The editor on screen for the group; `typingPause` is how long a pause in the typing may last.
    std::unique_ptr<GroupEditorPage> openEditor(const AppGroup &group, int typingPause)
    {
        GroupEditorServices services;
        services.groupManager = m_store.get();
        services.dockSync = m_dock.get();
        auto page = std::make_unique<GroupEditorPage>(services, group, false, std::function<void()>());
        page->notices()->setDisplayDuration(10 * timeout);
        page->changeHandler()->setTypingPause(typingPause);
        page->resize(620, 540);
        page->show();
        if (!QTest::qWaitForWindowExposed(page.get()))
            return nullptr;
        page->activateWindow();
        page->nameField()->setFocus();
        return page;
    }

private slots:
    void initTestCase()
    {
        useSourceResources();
        QVERIFY(m_dir.isValid());
        m_store = makeEditorStore(m_dir);
        m_store->ensureStorageDirectories();
        m_store->loadGroups();
        m_dock = std::make_unique<FakeDockSync>();
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
    }

    void cleanupTestCase() { m_store.reset(); }

    // In even rounds the typing here ends last and its name is kept; in odd ones the other program
    // renames once more after it, its name is kept and the user here is told.
    void typingHereWhileTheOtherProgramRenames()
    {
        for (int round = 0; round < rounds; ++round) {
            const bool typedHereLast = round % 2 == 0;
            const AppGroup group = storedGroup(QStringLiteral("Start %1").arg(round));
            OtherProgram other(m_dir.path(), group.id);
            QVERIFY(otherProgramLoaded(other, group));
            // The user types on without a pause however long the other program takes.
            const std::unique_ptr<GroupEditorPage> page = openEditor(group, 10 * timeout);
            QVERIFY(page);
            QLineEdit *field = page->nameField();
            QStringList shown;
            connect(field, &QLineEdit::textChanged, page.get(), [&shown](const QString &text) { shown << text; });
            field->selectAll();

            const QString keys = QStringLiteral("A%1z").arg(round);
            QString typed;
            for (int i = 0; i < keys.size(); ++i) {
                QTest::keyClicks(field, keys.mid(i, 1));
                typed += keys.at(i);
                QCOMPARE(field->text(), typed);
                m_store->waitUntilSaved();
                const QString theirs = QStringLiteral("B%1-%2").arg(round).arg(i);
                other.rename(theirs);
                QTRY_VERIFY_WITH_TIMEOUT(other.said(QStringLiteral("saved ") + theirs), timeout);
                // The other program's name has reached this side's store while the user types...
                QTRY_COMPARE_WITH_TIMEOUT(storedName(group.id), theirs, timeout);
                // ...and the field, theirs while they type, is left as they typed it.
                QCOMPARE(field->text(), typed);
            }
            // The typing ends.
            QTest::keyClick(field, Qt::Key_Return);
            QString kept = typed;
            if (!typedHereLast) {
                // The other program renames once more after it has seen the name typed here.
                m_store->waitUntilSaved();
                QTRY_VERIFY_WITH_TIMEOUT(other.said(QStringLiteral("name ") + typed), timeout);
                QCoreApplication::processEvents();
                kept = QStringLiteral("B%1-last").arg(round);
                other.rename(kept);
                QTRY_VERIFY_WITH_TIMEOUT(other.said(QStringLiteral("saved ") + kept), timeout);
            }
            QTRY_COMPARE_WITH_TIMEOUT(storedName(group.id), kept, timeout);
            // The field, which still has the keyboard, is the user's until they leave it.
            QCOMPARE(field->text(), typed);
            field->clearFocus();
            // One of the two names, whole, in both programs and on screen.
            QTRY_COMPARE_WITH_TIMEOUT(storedName(group.id), kept, timeout);
            QTRY_COMPARE_WITH_TIMEOUT(other.name(), kept, timeout);
            QTRY_COMPARE_WITH_TIMEOUT(field->text(), kept, timeout);
            QCOMPARE(nameInFile(group.id), kept);
            if (typedHereLast) {
                QVERIFY(!page->notices()->toast());
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(page->notices()->toast(), timeout);
                QCOMPARE(page->notices()->toast()->text, localizedFormat(QStringLiteral("groups.renamedElsewhere"), {typed, kept}));
            }
            // Never a mix: the field only ever showed what the user typed, then the name kept.
            for (const QString &text : std::as_const(shown))
                QVERIFY2(typed.startsWith(text) || text == kept, qPrintable(text));
        }
    }

    // A user who stopped typing but left the keyboard in the field does not hold off a later rename
    // from the other program: the store takes it in, the field shows it once it is left, and the
    // old name is not written back over it.
    void aPauseInTheTypingLetsALaterRenameIn()
    {
        const AppGroup group = storedGroup(QStringLiteral("Idle"));
        OtherProgram other(m_dir.path(), group.id);
        QVERIFY(otherProgramLoaded(other, group));
        const std::unique_ptr<GroupEditorPage> page = openEditor(group, 50);
        QVERIFY(page);
        QLineEdit *field = page->nameField();
        QTest::keyClicks(field, QStringLiteral("s"));
        QCOMPARE(field->text(), QStringLiteral("Idles"));
        QTRY_VERIFY_WITH_TIMEOUT(!page->changeHandler()->isTyping(), timeout);
        m_store->waitUntilSaved();
        QTRY_VERIFY_WITH_TIMEOUT(other.said(QStringLiteral("name Idles")), timeout);

        other.rename(QStringLiteral("Later"));
        QTRY_VERIFY_WITH_TIMEOUT(other.said(QStringLiteral("saved Later")), timeout);
        QTRY_COMPARE_WITH_TIMEOUT(storedName(group.id), QStringLiteral("Later"), timeout);
        QCOMPARE(field->text(), QStringLiteral("Idles"));
        field->clearFocus();
        QCOMPARE(field->text(), QStringLiteral("Later"));
        m_store->waitUntilSaved();
        QCOMPARE(storedName(group.id), QStringLiteral("Later"));
        QCOMPARE(nameInFile(group.id), QStringLiteral("Later"));
        QCOMPARE(other.name(), QStringLiteral("Later"));
    }

    // The user clicks into the name field (and selects all of it, or leaves the cursor at its end);
    // before the first key the other program saves a name of its own. The keys go onto what the
    // user saw, never onto the other name, and the name typed is kept on both once the typing ends.
    void theFieldIsTheUsersFromTheClick_data()
    {
        QTest::addColumn<bool>("selectAll");
        QTest::newRow("click, Ctrl+A") << true;
        QTest::newRow("click at the end") << false;
    }

    void theFieldIsTheUsersFromTheClick()
    {
        QFETCH(bool, selectAll);
        for (int round = 0; round < 5; ++round) {
            const QString start = QStringLiteral("Alpha%1").arg(round);
            const AppGroup group = storedGroup(start);
            OtherProgram other(m_dir.path(), group.id);
            QVERIFY(otherProgramLoaded(other, group));
            const std::unique_ptr<GroupEditorPage> page = openEditor(group, 10 * timeout);
            QVERIFY(page);
            QVERIFY(QTest::qWaitForWindowActive(page.get()));
            QLineEdit *field = page->nameField();
            field->clearFocus();
            QStringList shown;
            connect(field, &QLineEdit::textChanged, page.get(), [&shown](const QString &text) { shown << text; });

            QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(field->width() - 2, field->height() / 2));
            QVERIFY(field->hasFocus());
            if (selectAll)
                QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            const QString theirs = QStringLiteral("B%1-there").arg(round);
            other.rename(theirs);
            QTRY_VERIFY_WITH_TIMEOUT(other.said(QStringLiteral("saved ") + theirs), timeout);
            // The other name has reached this side's store before the first key.
            QTRY_COMPARE_WITH_TIMEOUT(storedName(group.id), theirs, timeout);
            QCOMPARE(field->text(), start);

            QTest::keyClicks(field, QStringLiteral("-abc"));
            const QString typed = selectAll ? QStringLiteral("-abc") : start + QStringLiteral("-abc");
            QCOMPARE(field->text(), typed);
            QTest::keyClick(field, Qt::Key_Return);
            QTRY_COMPARE_WITH_TIMEOUT(storedName(group.id), typed, timeout);
            m_store->waitUntilSaved();
            QCOMPARE(nameInFile(group.id), typed);
            QTRY_COMPARE_WITH_TIMEOUT(other.name(), typed, timeout);
            field->clearFocus();
            QCOMPARE(field->text(), typed);
            QVERIFY(!page->notices()->toast());
            for (const QString &text : std::as_const(shown))
                QVERIFY2(!text.contains(theirs), qPrintable(text));
        }
    }
};

KESTROWAN_TEST_MAIN(TestEditorRename)
#include "tst_editorrename.moc"
