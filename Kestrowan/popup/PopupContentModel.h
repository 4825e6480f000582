#pragma once

#include "Kestrowan/dock/DockPosition.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Platform/WorkspaceOpener.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class PopupLauncher;

// The state of one popup's content and everything the user can do to it: search typing, keyboard
// focus, renaming, choosing items. The widgets only draw it and forward clicks; a new model is made
// for every show, so nothing survives a dismissal.
class PopupContentModel : public QObject {
    Q_OBJECT
public:
    struct Inputs {
        AppGroup group;
        DockPosition dockPosition = DockPosition::Bottom;
        std::optional<QString> openShortcutDisplay;
        qreal popupTextScale = 1.0;
        int popupGridColumns = 4;
        std::function<void()> onEdit;
        std::function<void()> onDismiss;
        std::function<void(const QString &name)> onRenameGroup;
    };

    // `launcher` must outlive the model.
    PopupContentModel(Inputs inputs, PopupLauncher &launcher, QObject *parent = nullptr);

    const AppGroup &group() const { return m_inputs.group; }
    DockPosition dockPosition() const { return m_inputs.dockPosition; }
    const std::optional<QString> &openShortcutDisplay() const { return m_inputs.openShortcutDisplay; }
    qreal popupTextScale() const { return m_inputs.popupTextScale; }
    int gridColumns() const;
    PopupLauncher &launcher() const { return m_launcher; }

    QList<AppItem> displayItems() const;
    QList<AppItem> filteredItems() const;

    const QString &searchText() const { return m_searchText; }
    bool isSearchActive() const { return m_isSearchActive; }
    std::optional<int> focusedIndex() const { return m_focusedIndex; }
    bool isEditingName() const { return m_isEditingName; }
    const QString &editingName() const { return m_editingName; }
    const QString &displayName() const { return m_displayName; }
    // What the last choice could not open, told briefly in the popup; empty once the user goes on.
    const QString &openFailure() const { return m_openFailure; }

    // A key as the popup's key monitors report it; ignored while the name is being edited.
    void handleKeyNotification(quint16 keyCode, quint64 modifiers, const QString &characters);
    void handleKey(quint16 keyCode, quint64 modifiers, const QString &characters);
    // Whether a key means something to the popup (typing, the arrows and their kin, its commands);
    // one that does not is left to the program's own key equivalents.
    static bool takesKey(quint16 keyCode, quint64 modifiers, const QString &characters);

    void activateSearch();
    void clearSearch();
    void beginRename();
    void setEditingName(const QString &name);
    // Ends a rename: a non-blank name, trimmed, becomes the title and goes to the owner.
    void commitRename();

    // Opens `item` and closes the popup; a failed open leaves the popup as it was, saying so. An
    // opening the desktop answers later keeps the popup until the answer comes.
    void chooseItem(const AppItem &item);
    // Opens every shown application, then closes the popup.
    void launchAllAndDismiss();
    void edit();
    void dismiss();

    // The highlight moves to where the pointer went, once the keyboard has one: one item looks chosen.
    void followPointerTo(int index);

signals:
    void searchChanged();
    void focusChanged();
    void nameChanged();
    void openFailureChanged();

private:
    void setFocusedIndex(std::optional<int> index);
    void navigate(quint16 keyCode);
    void setOpenFailure(const QString &text);
    void finishChoosing(const QString &itemName, const OpenOutcome &outcome);

    Inputs m_inputs;
    PopupLauncher &m_launcher;
    QString m_searchText;
    bool m_isSearchActive = false;
    std::optional<int> m_focusedIndex;
    bool m_isEditingName = false;
    QString m_editingName;
    QString m_displayName;
    QString m_openFailure;
};
