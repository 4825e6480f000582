// Another program sharing the groups file, as the program on a second display is: it loads the
// file, makes one change through the store's own operations, and ends once the change is saved.
// Arguments: the storage folder, then "rename <id> <name>", "delete <id>", "create <name>" or
// "renames <id> <prefix> <count>" (renames the group to prefix 0, prefix 1, … as fast as it can,
// taking in what others save between); prints "loaded" once it has read the file, the new group's id for "create", then "saved".
// "lock <ofd|posix>" holds the groups file's lock instead, as another writer does while it writes
// (an open-file-description lock, or the classic kind): prints "locked", and "released" once a line
// on its standard input lets it go.
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Platform/safewrite/StoredFileLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QUuid>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

int holdLock(const QString &storage, bool classic)
{
    const QString path = StoredFileLock::lockFileFor(storage + QStringLiteral("/groups.json"));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    struct flock region {};
    region.l_type = F_WRLCK;
    region.l_whence = SEEK_SET;
    if (fd < 0 || ::fcntl(fd, classic ? F_SETLKW : F_OFD_SETLKW, &region) != 0)
        return 4;
    std::printf("locked\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 5;
    ::close(fd);
    std::printf("released\n");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 4)
        return 2;
    const QString storage = arguments.at(1);
    const QString command = arguments.at(2);
    if (command == QLatin1String("lock"))
        return holdLock(storage, arguments.at(3) == QLatin1String("posix"));
    GroupManager manager(storage, storage + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    manager.loadGroups();
    std::printf("loaded\n");
    std::fflush(stdout);
    const auto find = [&manager](const QString &id) -> std::optional<AppGroup> {
        for (const AppGroup &group : manager.groups()) {
            if (group.id == QUuid::fromString(id))
                return group;
        }
        return std::nullopt;
    };
    if (command == QLatin1String("create")) {
        AppGroup group = manager.createGroup();
        group.name = arguments.at(3);
        manager.updateGroup(group);
        std::printf("%s\n", qPrintable(ModelJson::uuidText(group.id)));
    } else if (command == QLatin1String("rename") && arguments.size() > 4) {
        std::optional<AppGroup> group = find(arguments.at(3));
        if (!group)
            return 3;
        group->name = arguments.at(4);
        manager.updateGroup(*group);
    } else if (command == QLatin1String("renames") && arguments.size() > 5) {
        const int count = arguments.at(5).toInt();
        for (int i = 0; i < count; ++i) {
            std::optional<AppGroup> group = find(arguments.at(3));
            if (!group)
                return 3;
            group->name = arguments.at(4) + QString::number(i);
            manager.updateGroup(*group);
            QCoreApplication::processEvents();
        }
    } else if (command == QLatin1String("delete")) {
        const std::optional<AppGroup> group = find(arguments.at(3));
        if (!group)
            return 3;
        manager.deleteGroup(*group, true, [&app] { app.quit(); });
        app.exec();
    } else {
        return 2;
    }
    // The store's end waits for the save, and takes in what another program saved meanwhile.
    manager.waitUntilSaved();
    std::printf("saved\n");
    return 0;
}
