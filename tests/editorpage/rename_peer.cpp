// The program on a second display as far as one group's name goes: it shares the groups file of the
// storage folder it is given, renames the group when told, and says what name it holds.
// Arguments: the storage folder and the group's id. Reads lines from its input: "rename <name>"
// renames the group and prints "saved <name>" once the file holds it; "quit" (or the end of the
// input) ends it once its saves are through. Prints "loaded" once it has read the file, and
// "name <name>" each time the name it holds changes, whoever changed it.
#include "Kestrowan/groups/GroupManager.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QUuid>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString &line)
{
    std::printf("%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 3)
        return 2;
    const QString storage = arguments.at(1);
    const QUuid id = QUuid::fromString(arguments.at(2));
    GroupManager manager(storage, storage + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    manager.loadGroups();
    const auto current = [&manager, id]() -> std::optional<AppGroup> {
        for (const AppGroup &group : manager.groups()) {
            if (group.id == id)
                return group;
        }
        return std::nullopt;
    };
    if (!current())
        return 3;
    QString shown = current()->name;
    say(QStringLiteral("loaded"));
    QObject::connect(&manager, &GroupManager::groupsChanged, &app, [&] {
        const std::optional<AppGroup> group = current();
        if (group && group->name != shown) {
            shown = group->name;
            say(QStringLiteral("name ") + shown);
        }
    });

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            app.quit();
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            if (line == QLatin1String("quit")) {
                app.quit();
                return;
            }
            if (!line.startsWith(QLatin1String("rename ")))
                continue;
            std::optional<AppGroup> group = current();
            if (!group)
                return app.exit(3);
            group->name = line.mid(7);
            manager.updateGroup(*group);
            manager.waitUntilSaved();
            say(QStringLiteral("saved ") + group->name);
        }
    });
    const int status = app.exec();
    manager.waitUntilSaved();
    return status;
}
