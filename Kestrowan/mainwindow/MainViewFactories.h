#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <functional>

class QWidget;

// The four rows of a card's quick-add menu.
struct AddToGroupMenuActions {
    std::function<void()> onDockApps;
    std::function<void()> onApps;
    std::function<void()> onFiles;
    std::function<void()> onFolders;
};

// The pages and the menu that other parts of the program put into the main window. Whoever wires
// the program fills these at start; the window asks for a page each time it shows one and owns the
// widget it gets. A missing factory gives the window's own plain stand-in.
struct MainViewFactories {
    using Action = std::function<void()>;

    // The first-run flow; both actions end it.
    std::function<QWidget *(Action onFinish, Action onSkip)> onboarding;
    // The editor of a stored group, or of a new draft that is not stored yet.
    std::function<QWidget *(const AppGroup &group, bool isNewDraft, Action onBack)> groupEditor;
    std::function<QWidget *(Action onBack)> settings;
    // The content of a card's quick-add popover.
    std::function<QWidget *(const AddToGroupMenuActions &actions)> addToGroupMenu;

    static MainViewFactories &shared();
};
