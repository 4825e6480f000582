#pragma once

#include "Kestrowan/editor/OpenerRulesEditor.h"
#include "Kestrowan/editor/ShortcutRecorder.h"
#include "Kestrowan/editor/UsageSignalSender.h"
#include "Kestrowan/groups/AppItem.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

class DockSyncPort;
class GroupManager;
class GroupShortcutStore;
class KeyboardShortcutService;
class PermissionManagerInterface;
class SkinManager;
class UserDefaults;
class QWidget;

// What the group editor page is built on: the program's services, and the few windows of other
// parts (the application pickers, the application chooser) that it opens.
struct GroupEditorServices {
    // Shows a picker sheet over `parent` on `selected` (the group's items); `closed` gets the
    // picker's whole list after "done", or nothing after cancel.
    using PickerPresenter = std::function<void(QWidget *parent, const QList<AppItem> &selected,
                                               std::function<void(const std::optional<QList<AppItem>> &)> closed)>;

    GroupManager *groupManager = nullptr;
    SkinManager *skinManager = nullptr;
    PermissionManagerInterface *permissionManager = nullptr;
    // The shortcut section records into `shortcutStore`, else into the program's shortcut service;
    // without either the page has no shortcut section.
    GroupShortcutStore *shortcutStore = nullptr;
    KeyboardShortcutService *keyboardShortcutService = nullptr;
    // The platform's key codes unless given.
    ShortcutRecorder::KeyTranslator keyTranslator;
    // Without one the page talks to the group store and the Dock service itself.
    DockSyncPort *dockSync = nullptr;
    // The standard defaults unless a test gives its own.
    UserDefaults *defaults = nullptr;
    UsageSignalSender sendSignal = analyticsSignalSender();
    PickerPresenter dockAppPicker;
    PickerPresenter installedAppPicker;
    // The program's application chooser over the page unless given.
    OpenerRulesEditor::ApplicationChooser applicationChooser;
    // Where dropped files from temporary folders are kept; under the storage folder unless given.
    QString droppedItemsFolder;
};
