#pragma once

#include "Kestrowan/popup/PopupContentModel.h"
#include "Kestrowan/popup/PopupItemCell.h"

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <memory>

class PopupEmptyState;
class PopupFooter;
class PopupHeader;
class PopupItemCell;
class PopupItemStates;
class PopupItemsSection;
class PopupLauncher;
class PopupSearchBar;
class QLabel;
class QScrollArea;
class QVBoxLayout;

// What fills the popup: a rounded card with the header, the search row, the items as a grid or a
// list (or the empty and no-results views) and the footer. It draws its model and forwards what the
// user does to it; the keys reach it through the popup's key notification.
class PopupContentView : public QWidget {
    Q_OBJECT
public:
    PopupContentView(PopupContentModel::Inputs inputs, std::unique_ptr<PopupLauncher> launcher,
                     PopupItemStates *itemStates, QWidget *parent = nullptr);
    ~PopupContentView() override;

    PopupContentModel &model() { return *m_model; }
    PopupHeader *header() const { return m_header; }
    PopupSearchBar *searchBar() const { return m_searchBar; }
    // Each of these is null while it is not shown.
    PopupFooter *footer() const;
    PopupEmptyState *emptyState() const;
    // The items' scroll area, while the items shown are enough to scroll.
    QScrollArea *scrollArea() const;
    // The number of items shown (what the search leaves).
    int cellCount() const;
    // The cell of the item at `index` of the shown list; null while that item is away from the view
    // (cells are built only for the rows in or next to it).
    PopupItemCell *cellAt(int index) const;
    // Every cell built, whatever it shows now.
    QList<PopupItemCell *> builtCells() const;
    // The line that tells what could not be opened; hidden while there is nothing to tell.
    QLabel *openFailureLine() const { return m_openFailureLine; }
    // Stops taking the popup's keys: the panel is on its way out.
    void stopListening();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The items' scroll area with the section that builds cells for what is in view.
    void buildItems();
    void showFilteredItems();
    void showEmptyState(bool noResults);
    // The texts again, in the language now chosen.
    void updateTexts();
    void updateFocus();
    void followPointer(PopupItemCell *cell, const QPoint &at);
    // What the cell of the item at `index` of the shown list is given.
    PopupCellInputs cellInputs(int index);
    PopupItemCell *makeCell(int index, QWidget *parent);
    void bindCell(PopupItemCell *cell, int index);
    // The grid lays the opened dot over a card from outside, in the card's slot.
    static void showOpenedDot(QWidget *slot, bool opened);
    QWidget *divider(qreal opacity);
    // Warms the thumbnail cache for the items the current search shows.
    void prefetchThumbnails(const QList<AppItem> &items);
    // Asks for the icons of all the applications shown, at each of `pixels` a side.
    void prefetchApplicationIcons(const QList<int> &pixels);
    void prefetchAfterFirstFrame();

    std::unique_ptr<PopupLauncher> m_launcher;
    std::unique_ptr<PopupContentModel> m_model;
    PopupItemStates *m_itemStates;
    PopupHeader *m_header;
    PopupSearchBar *m_searchBar = nullptr;
    QLabel *m_openFailureLine = nullptr;
    QVBoxLayout *m_layout;
    QWidget *m_footerArea = nullptr;
    PopupFooter *m_footer = nullptr;
    PopupEmptyState *m_emptyState = nullptr;
    QScrollArea *m_scroll = nullptr;
    PopupItemsSection *m_section = nullptr;
    QList<AppItem> m_displayItems;
    QList<int> m_shownIndexes; // the display items the search shows
    bool m_shownOnce = false;
    QHash<int, QIcon> m_openerIcons; // by display item
    QList<int> m_applicationIconPixels; // the sizes the applications' icons were asked for at
    bool m_painted = false;
    QMetaObject::Connection m_keySubscription;
    QPoint m_pointerAtFocusChange; // where the pointer was when the keyboard's highlight last moved
    bool m_appeared = false;
};
