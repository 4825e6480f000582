#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QList>
#include <QSet>
#include <QWidget>

class EditorActionButton;
class EditorDraft;
class EditorItemActions;
class EditorItemCell;
class OpenerRulesEditor;
class QGridLayout;
class QMenu;
class QVBoxLayout;
class ReorderTile;
class SurfaceFrame;
class TokenLabel;

// The editor's item area: the title with the item count (and Done and Cancel while reordering),
// then the empty state with its large add buttons, or the grid of item cells with the add bar and
// the opener section under it, or the wiggling grid of the reorder mode. The whole area takes
// dropped files, folders and links.
class EditorItemSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int columns = 6;

    EditorItemSection(EditorDraft *draft, EditorItemActions *actions, OpenerRulesEditor *openers, QWidget *parent = nullptr);

    // Shown under the add bar while the grid is (the opener section of the page).
    void setOpenerSection(QWidget *section);

    bool isTargetedForDrop() const { return m_targeted; }
    bool showsEmptyState() const;
    QList<EditorItemCell *> cells() const { return m_cells; }
    QList<ReorderTile *> tiles() const { return m_tiles; }
    EditorActionButton *doneButton() const { return m_done; }
    EditorActionButton *cancelButton() const { return m_cancel; }
    TokenLabel *countLabel() const { return m_count; }
    // The add buttons: empty state's, then the add bar's; each in the order Dock apps, apps, files, folders.
    QList<EditorActionButton *> emptyStateButtons() const { return m_emptyButtons; }
    QList<EditorActionButton *> addBarButtons() const { return m_barButtons; }
    // The context menu of the item at `index` (owned by the caller).
    QMenu *makeContextMenu(int index, QWidget *parent = nullptr);

signals:
    void addDockAppsRequested();
    void addAppsRequested();
    void addFilesRequested();
    void addFoldersRequested();
    // A drag starts on a cell of the grid, or on a tile of the reorder mode.
    void itemDragStarted(const AppItem &item);
    void tileDragStarted(const AppItem &item);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void refresh();
    void rebuildGrid();
    EditorItemCell *makeCell(const AppItem &item);
    void rebuildTiles();
    void refreshOpeners();
    void refreshReorderState();
    void setTargeted(bool targeted);
    int indexOf(const QUuid &id) const;
    QList<EditorActionButton *> makeAddButtons(bool large, QWidget *parent);

    EditorDraft *m_draft;
    EditorItemActions *m_actions;
    OpenerRulesEditor *m_openers;
    TokenLabel *m_count;
    EditorActionButton *m_done;
    EditorActionButton *m_cancel;
    QWidget *m_emptyState;
    SurfaceFrame *m_grid;
    QGridLayout *m_gridLayout;
    SurfaceFrame *m_reorderGrid;
    QGridLayout *m_reorderLayout;
    SurfaceFrame *m_addBar;
    QWidget *m_openerSection = nullptr;
    QVBoxLayout *m_layout;
    QList<EditorItemCell *> m_cells;
    QList<ReorderTile *> m_tiles;
    QList<EditorActionButton *> m_emptyButtons;
    QList<EditorActionButton *> m_barButtons;
    QList<QWidget *> m_dragHints;
    QList<AppItem> m_shownApps;
    QList<AppItem> m_shownTileApps;
    // The items and opener settings the cells' opener badges were last looked up for.
    std::optional<AppGroup> m_openersShownFor;
    // Cells made since the openers were last shown: they have none yet.
    QSet<EditorItemCell *> m_cellsWithoutOpener;
    bool m_targeted = false;
};
