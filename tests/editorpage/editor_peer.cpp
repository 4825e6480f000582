// The program on a second display with one group's editor open: a real editor page on a store of
// its own over the groups file of the storage folder it is given, typed into with key events as
// the user there would. Arguments: the storage folder and the group's id. Reads lines from its
// input: "keys <text>" types the text into the name field, "selectall", "end" and "return" press
// Ctrl+A, End and Return there, "quit" ends it once its saves are through; each line is answered
// with "ack <n>" (n counting from 1) once done, after the state it left. Prints "loaded" once the
// page is up, and a line "state <field>\t<selected text>\t<cursor>\t<stored name>\t<notice>" at
// every change of the field, the stored name or the page's notice, and before every answer.
#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/editorpage/PeerProgram.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QUuid>

int main(int argc, char *argv[])
{
    prepareIsolatedTestEnvironment("editor_peer");
    QApplication app(argc, argv);
    const PeerGroupStore store(app.arguments());
    if (!store.current())
        return 3;
    GroupManager &manager = *store.manager();
    const auto current = [&store] { return store.current(); };
    useSourceResources();
    FakeDockSync dock;
    GroupEditorServices services;
    services.groupManager = &manager;
    services.dockSync = &dock;
    GroupEditorPage page(services, *current(), false, {});
    page.notices()->setDisplayDuration(3600 * 1000);
    page.changeHandler()->setTypingPause(3600 * 1000);
    page.resize(620, 540);
    page.show();
    if (!QTest::qWaitForWindowExposed(&page))
        return 4;
    QLineEdit *field = page.nameField();
    field->setFocus();
    const auto tellState = [&] {
        const std::optional<AppToast> notice = page.notices()->toast();
        sayLine(QStringLiteral("state %1\t%2\t%3\t%4\t%5")
                .arg(field->text(), field->selectedText())
                .arg(field->cursorPosition())
                .arg(current() ? current()->name : QString(), notice ? notice->text : QString()));
    };
    QObject::connect(field, &QLineEdit::textChanged, &app, tellState);
    QObject::connect(&manager, &GroupManager::groupsChanged, &app, tellState);
    QObject::connect(page.notices(), &AppToastModifier::toastChanged, &app, tellState);
    sayLine(QStringLiteral("loaded"));
    tellState();

    int answered = 0;
    const InputLines input([&](const QString &line) {
        if (line == QLatin1String("quit"))
            return app.quit();
        if (line.startsWith(QLatin1String("keys ")))
            QTest::keyClicks(field, line.mid(5));
        else if (line == QLatin1String("selectall"))
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        else if (line == QLatin1String("end"))
            QTest::keyClick(field, Qt::Key_End);
        else if (line == QLatin1String("return"))
            QTest::keyClick(field, Qt::Key_Return);
        tellState();
        sayLine(QStringLiteral("ack %1").arg(++answered));
    });
    const int status = app.exec();
    manager.waitUntilSaved();
    return status;
}
