#pragma once

#include "Kestrowan/editor/GroupEditorServices.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/shell/AppEnvironment.h"

#include <functional>

class QWidget;

// The editor's services taken from the program's environment; the application pickers, which belong
// to the main window, are left for the caller to add.
GroupEditorServices groupEditorServices(const AppEnvironment &environment);

// The editor page the main window shows for a stored group (`isNewDraft` false) or for a new group
// that is not stored yet; `onBack` leaves it.
QWidget *makeGroupEditorPage(const GroupEditorServices &services, const AppGroup &group, bool isNewDraft, std::function<void()> onBack,
                             QWidget *parent = nullptr);
