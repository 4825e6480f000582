#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QUuid>
#include <QWidget>

class GroupCardView;
class GroupManager;
class NewGroupCardView;
class SkinManager;
class TokenLabel;

// Two flexible columns of cards: the new-group card first, then one card per group in store order.
// Cards follow the store; a card whose group stays is kept (with its hover and menu state).
// A card is built when its cell comes into sight; the cards out of sight are built after the grid's
// first frame, a few per turn of the event loop, so a window of many groups is drawn as soon as one
// of few. The grid is as tall as all its cells from the start.
class GroupGrid final : public QWidget {
    Q_OBJECT
public:
    static constexpr int columns = 2;
    static constexpr int spacing = 10;
    static constexpr int padding = 14;
    static constexpr int cardHeight = 120;

    GroupGrid(GroupManager &store, SkinManager *skinManager, QWidget *parent = nullptr);

    NewGroupCardView *newGroupCard() const { return m_newGroupCard; }
    // Beside the new-group card while there are no groups: what a group is and where to start.
    QWidget *emptyState() const { return m_emptyState; }
    // The card of a group in the grid, built now if it was not yet; null for a group not in the grid.
    GroupCardView *card(const QUuid &groupID);
    // In grid order, the new-group card not included; builds those not built yet.
    QList<GroupCardView *> cards();

    // Draws every card again: whether a group is in the Dock as it is changes without the store
    // changing (a sync recorded it, or the Dock's list was refused).
    void refreshSyncStates();
    // Takes up a new interface language: the cards' texts and accessible names.
    void retitle();

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

signals:
    void newGroupTapped();
    void groupTapped(const QUuid &groupID);
    void pickDockApps(const QUuid &groupID);
    void pickApps(const QUuid &groupID);
    void pickFiles(const QUuid &groupID);
    void pickFolders(const QUuid &groupID);
    void deleteRequested(const QUuid &groupID);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void followStore();
    // Gives the built cards the groups' values when the grid took them while out of sight.
    void catchUpCards();
    void layoutCards();
    void retitleEmptyState();
    // Where the cell at `index` (0 is the new-group card) is, with the cards' bleed.
    QRect cellGeometry(qsizetype index) const;
    // The card of the group at `index` of the grid order, built first if need be.
    GroupCardView *cardAt(qsizetype index);
    GroupCardView *makeCard(const AppGroup &group);
    // Builds the cards of the cells in the scrolled-to part of the grid and a row beyond.
    void buildCardsInSight();
    // Builds the next cards not built yet, for a short while, and comes back for the rest.
    void buildLaterCards();

    GroupManager &m_store;
    SkinManager *m_skinManager;
    NewGroupCardView *m_newGroupCard;
    QWidget *m_emptyState;
    TokenLabel *m_emptyTitle;
    TokenLabel *m_emptyHint;
    // Every group of the grid in order; a card is in `m_cards` once built.
    QList<AppGroup> m_groups;
    QHash<QUuid, GroupCardView *> m_cards;
    QTimer m_laterCards;
    QPointer<QWidget> m_watchedViewport;
    bool m_drawn = false;
    bool m_cardsBehind = false;
};

