#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "tests/docktiles/DockTestSupport.h"
#include "tests/support/LogCapture.h"

#include <QByteArray>
#include <QMap>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class FakeProcessRunner;
class GroupManager;

// One directory entry as a folder view sees it: a file's bytes, or a link's target.
struct EntrySnapshot {
    bool isLink = false;
    QByteArray contents;
    friend bool operator==(const EntrySnapshot &, const EntrySnapshot &) = default;
};
inline EntrySnapshot fileEntry(const QByteArray &bytes) { return {false, bytes}; }
inline EntrySnapshot linkEntry(const QString &target) { return {true, target.toUtf8()}; }
// Every entry of a folder, hidden ones included; links are not followed.
QMap<QString, EntrySnapshot> snapshotFolder(const QString &path);

QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
QString makeFolder(const QString &path);
// Records `names` inside the group folder `folder` as the program's, as the sync that made them
// would have: a folder a test lays out by hand stands for one the program made.
void recordAsMade(const QString &folder, const QList<QByteArray> &names);
AppItem makeItem(const QString &bundleIdentifier, const QString &name, const QString &path);
AppGroup makeGroup(const QString &name, const QList<AppItem> &apps = {});
// A store on the standard locations, started as the program starts it, with `programPath` as the
// program its mirror folders link to.
std::unique_ptr<GroupManager> startedManager(const QString &programPath);

// A fake process runner in which every tool exits with 0, and a fake Dock restarter that succeeds.
FakeProcessRunner *installSucceedingProcessRunner();
// The state a first start finds: no saved groups or mirror folders, no Dock preferences, no
// remembered sync hashes and no sync block; every tool the store runs exits with 0.
FakeProcessRunner *resetToFirstStart();
// A stand-in for the program's own file under `home`, for mirror folders to link to; its path.
QString writeProgramStandIn(const QString &home);
// The Dock restarts asked of the restarter that installSucceedingProcessRunner installed last.
int dockRestarts();
// "persistent-others" of the Dock's preferences file in the test's home.
QVariantList persistentOthers();

// awaitCompletion (DockTestSupport.h) for a completion without a value; false when it broke the pattern.
bool awaitDone(const std::function<void(std::function<void()>)> &start);
