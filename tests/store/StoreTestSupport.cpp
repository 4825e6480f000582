#include "tests/store/StoreTestSupport.h"

#include "Kestrowan/groups/FolderIconPainter.h"
#include "Kestrowan/icons/ComposedFolderIcons.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/StorageLocations.h"
#include "Platform/PropertyList.h"
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeDockRestarter.h"
#include "Platform/fake/FakeProcessRunner.h"
#include "Platform/linux/DockPreferencesFile.h"
#include "Platform/safewrite/OwnRecord.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFileInfo>


namespace {

FakeDockRestarter *installedRestarter = nullptr;
} // namespace

QMap<QString, EntrySnapshot> snapshotFolder(const QString &path)
{
    QMap<QString, EntrySnapshot> entries;
    for (const QFileInfo &info : QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        entries.insert(info.fileName(), info.isSymLink() ? linkEntry(info.symLinkTarget()) : fileEntry(readBytes(info.filePath())));
    return entries;
}

QByteArray readBytes(const QString &path)
{
    return readTestFile(path);
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    writeTestFile(path, bytes);
}

void recordAsMade(const QString &folder, const QList<QByteArray> &names)
{
    const QString groups = QFileInfo(folder).absolutePath();
    OwnRecord record(QFileInfo(groups).absolutePath() + QStringLiteral("/Made Entries"), folder);
    record.adopt(names);
}

QString makeFolder(const QString &path)
{
    QDir().mkpath(path);
    return path;
}

AppItem makeItem(const QString &bundleIdentifier, const QString &name, const QString &path)
{
    return AppItem{QUuid::createUuid(), bundleIdentifier, name, path};
}

AppGroup makeGroup(const QString &name, const QList<AppItem> &apps)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    group.apps = apps;
    return group;
}

std::unique_ptr<GroupManager> startedManager(const QString &programPath)
{
    // The folders get their composed icons, as the program's start-up arranges.
    if (!FolderIconPainter::installed())
        FolderIconPainter::install(std::make_unique<ComposedFolderIcons>());
    auto manager = std::make_unique<GroupManager>();
    manager->setProgramPath(programPath);
    manager->ensureStorageDirectories();
    manager->loadGroups();
    return manager;
}

FakeProcessRunner *installSucceedingProcessRunner()
{
    auto runner = std::make_unique<FakeProcessRunner>();
    for (const char *tool : {"/usr/bin/touch", "/usr/bin/chflags"})
        runner->results.insert(QString::fromLatin1(tool), ProcessResult{0, std::nullopt});
    FakeProcessRunner *installed = runner.get();
    ProcessRunner::install(std::move(runner));
    auto restarter = std::make_unique<FakeDockRestarter>();
    installedRestarter = restarter.get();
    DockRestarter::install(std::move(restarter));
    return installed;
}

FakeProcessRunner *resetToFirstStart()
{
    QDir(appSupportDirectoryURL()).removeRecursively();
    QFile::remove(DockPreferencesFile::filePath());
    UserDefaults::standard().remove(GroupManager::syncedGroupHashesKey);
    DockService::clearSyncBlock();
    return installSucceedingProcessRunner();
}

QString writeProgramStandIn(const QString &home)
{
    const QString program = home + QStringLiteral("/Applications/Kestrowan");
    writeBytes(program, "#!/bin/sh\n");
    return program;
}

int dockRestarts()
{
    return installedRestarter ? installedRestarter->restarts : 0;
}

QVariantList persistentOthers()
{
    const std::optional<QVariant> parsed = PropertyList::parse(readBytes(DockPreferencesFile::filePath()));
    return parsed ? parsed->toMap().value(QStringLiteral("persistent-others")).toList() : QVariantList();
}

bool awaitDone(const std::function<void(std::function<void()>)> &start)
{
    return awaitCompletion<bool>([&start](std::function<void(bool)> finish) { start([finish] { finish(true); }); }).value_or(false);
}
