#include "tests/editorpage/EditorPageSupport.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/ResourceBundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

bool FakeDockSync::isSynced(const AppGroup &group) const
{
    return tile && syncedContents.contains(group);
}

void FakeDockSync::sync(const AppGroup &group, bool, std::function<void(bool)> completion)
{
    requests.append(group);
    ++running;
    mostAtOnce = qMax(mostAtOnce, running);
    pending.append([this, group, completion](bool success) {
        --running;
        if (success) {
            tile = true;
            syncedContents.removeIf([&group](const AppGroup &old) { return old.id == group.id; });
            syncedContents.append(group);
        }
        completion(success);
    });
}

void FakeDockSync::clearSyncBlock()
{
    ++blockClears;
    setBlocked(false);
}

void FakeDockSync::setBlocked(bool value)
{
    blocked = value;
    emit syncBlockChanged();
}

void FakeDockSync::finish(bool success)
{
    if (pending.isEmpty())
        return;
    const auto completion = pending.takeFirst();
    completion(success);
}

std::function<void(const QString &, const QMap<QString, QString> &)> SentSignals::sender()
{
    return [this](const QString &name, const QMap<QString, QString> &parameters) { list.append({name, parameters}); };
}

int SentSignals::count(const QString &name) const
{
    return int(std::count_if(list.begin(), list.end(), [&name](const auto &entry) { return entry.first == name; }));
}

AppItem fileItem(const QString &path, const QString &name)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, name.isEmpty() ? QFileInfo(path).fileName() : name, path};
}

AppItem appItem(const QString &bundleIdentifier, const QString &name)
{
    return AppItem{QUuid::createUuid(), bundleIdentifier, name, QStringLiteral("/Applications/") + name + QStringLiteral(".app")};
}

AppGroup makeEditorGroup(const QString &name, const QList<AppItem> &apps)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    group.apps = apps;
    return group;
}

std::unique_ptr<GroupManager> makeEditorStore(const QTemporaryDir &dir)
{
    QDir().mkpath(dir.filePath(QStringLiteral("Groups")));
    return std::make_unique<GroupManager>(dir.path(), dir.filePath(QStringLiteral("Groups")));
}

QList<AppGroup> storedGroups(GroupManager &store)
{
    store.waitUntilSaved();
    QFile file(store.storageURL());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return AppGroup::listFromJson(QJsonDocument::fromJson(file.readAll()).array()).value_or(QList<AppGroup>());
}

void useSourceResources()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
}
