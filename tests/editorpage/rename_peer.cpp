// The program on a second display as far as one group's name goes: it shares the groups file of the
// storage folder it is given, renames the group when told, and says what name it holds.
// Arguments: the storage folder and the group's id. Reads lines from its input: "rename <name>"
// renames the group and prints "saved <name>" once the file holds it; "quit" (or the end of the
// input) ends it once its saves are through. Prints "loaded" once it has read the file, and
// "name <name>" each time the name it holds changes, whoever changed it.
#include "Kestrowan/groups/GroupManager.h"
#include "tests/editorpage/PeerProgram.h"

#include <QCoreApplication>
#include <QUuid>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const PeerGroupStore store(app.arguments());
    if (!store.current())
        return 3;
    GroupManager &manager = *store.manager();
    const auto current = [&store] { return store.current(); };
    QString shown = current()->name;
    sayLine(QStringLiteral("loaded"));
    QObject::connect(&manager, &GroupManager::groupsChanged, &app, [&] {
        const std::optional<AppGroup> group = current();
        if (group && group->name != shown) {
            shown = group->name;
            sayLine(QStringLiteral("name ") + shown);
        }
    });

    const InputLines input([&](const QString &line) {
        if (line == QLatin1String("quit"))
            return app.quit();
        if (!line.startsWith(QLatin1String("rename ")))
            return;
        std::optional<AppGroup> group = current();
        if (!group)
            return app.exit(3);
        group->name = line.mid(7);
        manager.updateGroup(*group);
        manager.waitUntilSaved();
        sayLine(QStringLiteral("saved ") + group->name);
    });
    const int status = app.exec();
    manager.waitUntilSaved();
    return status;
}
