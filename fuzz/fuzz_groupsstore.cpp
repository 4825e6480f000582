// The store's handling of "groups.json" on disk: whatever the file holds, loading keeps the program
// running (an unreadable file set aside with a load error, never saved over), and what loads is
// saved and read back as it was.
#include "Kestrowan/groups/GroupManager.h"
#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QString storage = QDir::homePath() + QStringLiteral("/store");
    const QString groupsFolder = QDir::homePath() + QStringLiteral("/store-groups");
    QDir(storage).removeRecursively();
    QDir().mkpath(storage);
    const QByteArray bytes = FuzzSupport::bytes(data, size);
    {
        QFile file(storage + u'/' + GroupManager::groupsFileName);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(bytes);
    }
    QList<AppGroup> loaded;
    bool unreadable = false;
    {
        GroupManager store(storage, groupsFolder);
        store.loadGroups();
        loaded = store.groups();
        unreadable = store.loadError().has_value();
        if (!unreadable) {
            store.saveGroups();
            store.waitUntilSaved();
        }
    }
    QFile kept(storage + u'/' + GroupManager::groupsFileName);
    if (unreadable) {
        // An unreadable file is the user's: it stays as it was.
        if (!kept.open(QIODevice::ReadOnly) || kept.readAll() != bytes)
            __builtin_trap();
        return 0;
    }
    GroupManager again(storage, groupsFolder);
    again.loadGroups();
    if (again.loadError() || again.groups() != loaded)
        __builtin_trap();
    return 0;
}
