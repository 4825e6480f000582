#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/mainwindow/HoverCard.h"
#include "Kestrowan/mainwindow/QuickAddPopover.h"

#include <QPointer>

class CompactItemThumbnail;
class ComposedGroupIconView;
class GroupManager;
class QuickAddButton;
class SkinManager;

// One group in the main window's grid: its composed icon, name, item count, Dock sync state and
// display style, the first items with a count of the rest, and the quick-add button with its menu.
// Everything the card decides leaves through its signals, each naming the group by id.
class GroupCardView final : public HoverCard {
    Q_OBJECT
public:
    GroupCardView(const AppGroup &group, GroupManager &store, SkinManager *skinManager, QWidget *parent = nullptr);

    const AppGroup &group() const { return m_group; }
    // The same card for a changed value of its group (same id).
    void setGroup(const AppGroup &group);
    // Takes up a new interface language (the quick-add hint's width moves the strip).
    void retitle();
    bool isShowingAddMenu() const { return m_popover != nullptr; }
    QuickAddButton *quickAddButton() const { return m_quickAdd; }
    ComposedGroupIconView *iconView() const { return m_icon; }
    // The Dock state the card showed when it was last drawn.
    bool showsSynced() const { return m_showsSynced; }
    // Whether the card showed a Dock state at all when it was last drawn (an empty group shows none).
    bool showsSyncState() const { return m_showsSyncState; }
    // Where the tile counting the items not shown is drawn, in card coordinates, and its text;
    // empty when every item has a thumbnail.
    QRect overflowTileRect() const;
    QString overflowText() const;
    // Where the Dock state's text is drawn, in card coordinates, and the whole text it says (empty
    // for an empty group); and where the style pill is.
    QRectF syncStateRect() const;
    QString syncStateText() const;
    QRectF stylePillRect() const;

    QSize sizeHint() const override;

signals:
    void tapped(const QUuid &groupID);
    void pickDockApps(const QUuid &groupID);
    void pickApps(const QUuid &groupID);
    void pickFiles(const QUuid &groupID);
    void pickFolders(const QUuid &groupID);
    void deleteRequested(const QUuid &groupID);

protected:
    void paintContent(QPainter &painter, const QRectF &rect) override;
    bool washesWhileHovered() const override { return true; }
    void hoverProgressChanged() override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void showAddMenu();
    // The icon, the strip's thumbnails and the quick-add button follow the card as it grows.
    void placeChildren();
    void rebuildStrip();
    // Where the parts are, in unscaled card coordinates.
    QRectF iconRect(const QRectF &rect) const;
    QRectF quickAddColumn(const QRectF &rect) const;
    QRectF stripTile(const QRectF &rect, int index) const;
    // How many strip tiles fit before the quick-add column.
    int visibleStripTiles(const QRectF &rect, int wanted) const;
    // What the strip shows in a card of this size: the first thumbnails, then a tile counting the
    // items not shown (none when every item is shown). The count always has its tile: a narrow card
    // gives up thumbnails for it.
    struct StripLayout {
        int thumbnails = 0;
        qsizetype hiddenItems = 0;
    };
    StripLayout stripLayout(const QRectF &rect) const;
    // Where the header's texts go, in unscaled card coordinates.
    struct HeaderLayout {
        QRectF pill;
        QRectF name;
        QRectF count;
        QRectF dot;
        QRectF state;
        QString stateText;
    };
    HeaderLayout headerLayout(const QRectF &rect) const;
    void refreshAccessibility();
    // The quick-add hint in the current language and its size, measured once per language: the
    // layout asks for the hint's column many times over.
    void measureQuickAddHint();

    AppGroup m_group;
    GroupManager &m_store;
    QPointer<SkinManager> m_skinManager;
    QuickAddButton *m_quickAdd;
    ComposedGroupIconView *m_icon;
    QList<CompactItemThumbnail *> m_strip;
    QPointer<QuickAddPopover> m_popover;
    QString m_quickAddHint;
    QSizeF m_quickAddHintSize;
    bool m_showsSynced = false;
    bool m_showsSyncState = false;
};
