#pragma once

#include "Kestrowan/popup/PopupContentModel.h"

#include <QHash>
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
    // The cells of the items shown, in order.
    const QList<PopupItemCell *> &cells() const { return m_cells; }
    // The line that tells what could not be opened; hidden while there is nothing to tell.
    QLabel *openFailureLine() const { return m_openFailureLine; }
    // Stops taking the popup's keys: the panel is on its way out.
    void stopListening();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Every item gets its cell once; a search shows, hides and moves them.
    void buildItems();
    void showFilteredItems();
    void showEmptyState(bool noResults);
    void updateFocus();
    PopupItemCell *makeCell(int index, const AppItem &item, QWidget *parent);
    QWidget *divider(qreal opacity);
    // Warms the thumbnail cache for the items the current search shows.
    void prefetchThumbnails(const QList<AppItem> &items);

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
    QList<PopupItemCell *> m_allCells; // one per display item, in its order
    QList<int> m_shownIndexes;         // the display items the search shows
    QList<PopupItemCell *> m_cells;
    QMetaObject::Connection m_keySubscription;
    bool m_appeared = false;
};
