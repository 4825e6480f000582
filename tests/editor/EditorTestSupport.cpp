#include "tests/editor/EditorTestSupport.h"

#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/ResourceBundle.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

void FakeShortcutStore::setGroupShortcut(const QUuid &groupID, quint16 keyCode, quint64 modifierFlags)
{
    const GroupShortcut shortcut{groupID, keyCode, modifierFlags & 0x1E0000};
    for (GroupShortcut &existing : list) {
        if (existing.groupID == groupID) {
            existing = shortcut;
            emit shortcutsChanged();
            return;
        }
    }
    list.append(shortcut);
    emit shortcutsChanged();
}

void FakeShortcutStore::assignDefaultShortcut(const QUuid &groupID)
{
    ++defaultsAssigned;
    static const quint16 digits[] = {18, 19, 20, 21, 23, 22};
    const qsizetype position = groupOrder.indexOf(groupID);
    if (position >= 0 && position < 6)
        setGroupShortcut(groupID, digits[position], GroupShortcut::controlModifier);
}

AppItem itemAt(const QString &path)
{
    const bool web = path.startsWith(QLatin1String("http"));
    return AppItem{QUuid::createUuid(), (web ? QStringLiteral("url:") : QStringLiteral("file:")) + path, QFileInfo(path).fileName(), path};
}

AppGroup groupWith(const QString &name, const QList<AppItem> &apps)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    group.apps = apps;
    return group;
}

std::unique_ptr<GroupManager> makeStore(const QTemporaryDir &dir)
{
    QDir().mkpath(dir.filePath(QStringLiteral("Groups")));
    return std::make_unique<GroupManager>(dir.path(), dir.filePath(QStringLiteral("Groups")));
}

void useSourceResources()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
}
