#pragma once

#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/editor/GroupShortcutStore.h"
#include "Kestrowan/editor/UsageSignalSender.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QPair>
#include <memory>

class GroupManager;
class QTemporaryDir;

// Shortcuts kept in a list, with the service's rules: four modifier bits, replace or append, and
// Control plus a digit for the first six groups of the store.
class FakeShortcutStore final : public GroupShortcutStore {
public:
    QList<GroupShortcut> list;
    QList<QUuid> groupOrder;
    int defaultsAssigned = 0;

    QList<GroupShortcut> shortcuts() const override { return list; }
    void setGroupShortcut(const QUuid &groupID, quint16 keyCode, quint64 modifierFlags) override;
    void assignDefaultShortcut(const QUuid &groupID) override;
};

// Access granted or not, as the test says.
class FakePermissions final : public PermissionManagerInterface {
public:
    bool granted = false;
    bool isAccessibilityGranted() const override { return granted; }
    void refreshAccessibilityStatus() override {}
    void requestAccessibility() override {}
    void setGranted(bool value)
    {
        granted = value;
        emit accessibilityGrantedChanged(value);
    }
};

// The usage signals a choice sent, in order.
struct SignalLog {
    QList<QPair<QString, QMap<QString, QString>>> sent;
    UsageSignalSender sender()
    {
        return [this](const QString &name, const QMap<QString, QString> &parameters) { sent.append({name, parameters}); };
    }
};

AppItem itemAt(const QString &path);
AppGroup groupWith(const QString &name, const QList<AppItem> &apps = {});
// A store on folders of its own inside `dir`.
std::unique_ptr<GroupManager> makeStore(const QTemporaryDir &dir);
// Points the packaged resources at the source tree.
void useSourceResources();
