#pragma once

#include "Kestrowan/editor/GroupEditorServices.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QPropertyAnimation>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>

class AppToastModifier;
class ComposedGroupIconView;
class DisplayStyleChoice;
class DockStatusChip;
class DockSyncBar;
class DockSyncPort;
class DraftChangeHandler;
class EditorDraft;
class EditorHeaderRow;
class EditorItemActions;
class EditorItemSection;
class EditorSyncController;
class IconStyleChoice;
class QFileDialog;
class QLineEdit;
class ConfirmationAlert;
class QMimeData;
class QScrollArea;
class QSpacerItem;

// The main window's page for one group, stored or a new draft: its name, items, styles, shortcut
// and openers, each change stored at once, and the group's Dock tile kept in step by a sync on
// demand or three seconds after the last change.
class GroupEditorPage : public QWidget {
    Q_OBJECT
public:
    GroupEditorPage(const GroupEditorServices &services, const AppGroup &group, bool isNewDraft, std::function<void()> onBack,
                    QWidget *parent = nullptr);
    ~GroupEditorPage() override;

    EditorDraft *draft() const { return m_draft; }
    DraftChangeHandler *changeHandler() const { return m_handler; }
    EditorSyncController *syncController() const { return m_sync; }
    EditorItemActions *itemActions() const { return m_actions; }
    EditorHeaderRow *header() const { return m_header; }
    QLineEdit *nameField() const { return m_nameField; }
    DockStatusChip *statusChip() const { return m_statusChip; }
    DockSyncBar *syncBar() const { return m_bar; }
    EditorItemSection *itemSection() const { return m_items; }
    QScrollArea *scrollArea() const { return m_scroll; }
    ComposedGroupIconView *groupIcon() const { return m_icon; }
    // The page's notices: a dropped folder's copy, a name that gave way to another program's.
    AppToastModifier *notices() const { return m_notices; }

    // The open panel for files (false) or folders (true); window-modal over the page, the
    // desktop's own where the platform offers one.
    QFileDialog *addItemsWithOpenPanel(bool foldersOnly);
    // How a drag of an item is carried out, with the picture that follows the pointer; the
    // platform's drag unless a test puts its own in.
    using DragRunner = std::function<void(QWidget *source, QMimeData *payload, const QPixmap &picture)>;
    void setDragRunner(DragRunner runner) { m_dragRunner = std::move(runner); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *buildNameRow();
    void refreshFromDraft();
    // The field takes a name from the draft that the user did not type there.
    void showStoredName(const QString &name);
    void refreshStatus();
    void placeBar();
    // Brings a line of the column into sight, clear of the bottom bar.
    void scrollIntoView(QWidget *widget);
    void confirmDeleteGroup();
    void deleteConfirmedGroup();
    void showRemoveConfirmation();
    void showPicker(const GroupEditorServices::PickerPresenter &picker, const QString &method);
    void runDrag(const AppItem &item);
    QPixmap dragPicture(const AppItem &item) const;
    // The page is left: a reorder ends (and is stored), a recording ends, and the countdown's sync
    // runs at once (`syncOwed`) or, for a deleted group, never.
    void leavePage(bool syncOwed);

    GroupEditorServices m_services;
    std::function<void()> m_onBack;
    std::unique_ptr<DockSyncPort> m_ownDockSync;
    EditorDraft *m_draft;
    DraftChangeHandler *m_handler;
    EditorSyncController *m_sync;
    EditorItemActions *m_actions;
    OpenerRulesEditor *m_openers;
    IconStyleChoice *m_iconChoice;
    DisplayStyleChoice *m_displayChoice;
    ShortcutRecorder *m_recorder = nullptr;
    EditorHeaderRow *m_header;
    QScrollArea *m_scroll;
    ComposedGroupIconView *m_icon = nullptr;
    QLineEdit *m_nameField = nullptr;
    DockStatusChip *m_statusChip = nullptr;
    EditorItemSection *m_items;
    DockSyncBar *m_bar;
    AppToastModifier *m_notices;
    QSpacerItem *m_endSpace = nullptr;
    ConfirmationAlert *m_removeAlert = nullptr;
    QPropertyAnimation m_barEntrance;
    DragRunner m_dragRunner;
    QString m_prefetchKey;
    bool m_left = false;
};
