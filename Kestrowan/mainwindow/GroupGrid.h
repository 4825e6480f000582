#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QHash>
#include <QUuid>
#include <QWidget>

class GroupCardView;
class GroupManager;
class NewGroupCardView;
class SkinManager;
class TokenLabel;

// Two flexible columns of cards: the new-group card first, then one card per group in store order.
// Cards follow the store; a card whose group stays is kept (with its hover and menu state).
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
    GroupCardView *card(const QUuid &groupID) const { return m_cards.value(groupID); }
    // In grid order, the new-group card not included.
    QList<GroupCardView *> cards() const;

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
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void followStore();
    void layoutCards();
    void retitleEmptyState();
    GroupCardView *makeCard(const AppGroup &group);

    GroupManager &m_store;
    SkinManager *m_skinManager;
    NewGroupCardView *m_newGroupCard;
    QWidget *m_emptyState;
    TokenLabel *m_emptyTitle;
    TokenLabel *m_emptyHint;
    QList<QUuid> m_order;
    QHash<QUuid, GroupCardView *> m_cards;
    bool m_drawn = false;
};
