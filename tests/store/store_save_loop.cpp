// Saves the group store over and over, each time with a new generation of groups, until killed.
// Arguments: the storage folder and the number of groups per generation. Prints "saved" once the first
// save is on disk, so the killer knows a kill from then on can only land between or inside saves.
#include "Kestrowan/groups/GroupManager.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUuid>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString storage = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLocal8Bit(argv[2]).toInt();
    GroupManager manager(storage, storage + QStringLiteral("/Groups"));
    manager.ensureStorageDirectories();
    const QString file = storage + QStringLiteral("/groups.json");
    bool announced = false;
    for (qint64 generation = 0;; ++generation) {
        QList<AppGroup> groups;
        for (int i = 0; i < count; ++i) {
            AppGroup group;
            group.id = QUuid::createUuid();
            group.name = QStringLiteral("generation %1").arg(generation);
            for (int j = 0; j < 4; ++j)
                group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("com.example.app%1").arg(j),
                                          QStringLiteral("App %1").arg(j), QStringLiteral("/Applications/App %1.app").arg(j)});
            groups.append(group);
        }
        manager.setGroups(groups);
        manager.saveGroups();
        if (!announced && QFileInfo::exists(file)) {
            announced = true;
            std::fputs("saved\n", stdout);
            std::fflush(stdout);
        }
    }
}
