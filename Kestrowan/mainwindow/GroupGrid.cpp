#include "Kestrowan/mainwindow/GroupGrid.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/GroupCardView.h"
#include "Kestrowan/mainwindow/NewGroupCardView.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/SystemFont.h"

#include <QTimer>
#include <QVBoxLayout>

GroupGrid::GroupGrid(GroupManager &store, SkinManager *skinManager, QWidget *parent)
    : QWidget(parent)
    , m_store(store)
    , m_skinManager(skinManager)
    , m_newGroupCard(new NewGroupCardView(this))
    , m_emptyState(new QWidget(this))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_emptyState->setObjectName(QStringLiteral("emptyState"));
    auto *emptyLayout = new QVBoxLayout(m_emptyState);
    emptyLayout->setContentsMargins(8 + HoverCard::bleed, 0, 8 + HoverCard::bleed, 0);
    emptyLayout->setSpacing(4);
    emptyLayout->addStretch(1);
    m_emptyTitle = new TokenLabel(QString(), AppColors::text1, SystemFont::font(13, QFont::DemiBold), m_emptyState);
    m_emptyTitle->setObjectName(QStringLiteral("emptyTitle"));
    emptyLayout->addWidget(m_emptyTitle);
    m_emptyHint = new TokenLabel(QString(), AppColors::text3, SystemFont::font(11), m_emptyState);
    m_emptyHint->setObjectName(QStringLiteral("emptyHint"));
    m_emptyHint->setWordWrap(true);
    emptyLayout->addWidget(m_emptyHint);
    emptyLayout->addStretch(1);
    retitleEmptyState();
    connect(m_newGroupCard, &HoverCard::clicked, this, &GroupGrid::newGroupTapped);
    connect(&m_store, &GroupManager::groupsChanged, this, &GroupGrid::followStore);
    connect(&DockService::instance(), &DockService::syncBlockDidChange, this, &GroupGrid::refreshSyncStates);
    followStore();
}

QList<GroupCardView *> GroupGrid::cards() const
{
    QList<GroupCardView *> list;
    for (const QUuid &id : m_order)
        list.append(m_cards.value(id));
    return list;
}

GroupCardView *GroupGrid::makeCard(const AppGroup &group)
{
    auto *card = new GroupCardView(group, m_store, m_skinManager, this);
    connect(card, &GroupCardView::tapped, this, &GroupGrid::groupTapped);
    connect(card, &GroupCardView::pickDockApps, this, &GroupGrid::pickDockApps);
    connect(card, &GroupCardView::pickApps, this, &GroupGrid::pickApps);
    connect(card, &GroupCardView::pickFiles, this, &GroupGrid::pickFiles);
    connect(card, &GroupCardView::pickFolders, this, &GroupGrid::pickFolders);
    connect(card, &GroupCardView::deleteRequested, this, &GroupGrid::deleteRequested);
    card->show();
    return card;
}

void GroupGrid::followStore()
{
    QHash<QUuid, GroupCardView *> previous = std::exchange(m_cards, {});
    m_order.clear();
    for (const AppGroup &group : m_store.groups()) {
        // A damaged file may hold one id twice; the first group of that id has the card.
        if (m_cards.contains(group.id))
            continue;
        GroupCardView *card = previous.take(group.id);
        if (card)
            card->setGroup(group);
        else
            card = makeCard(group);
        m_cards.insert(group.id, card);
        m_order.append(group.id);
    }
    for (GroupCardView *gone : std::as_const(previous))
        gone->deleteLater();
    for (GroupCardView *gone : std::as_const(previous))
        gone->hide();
    // The scroll area gives the grid the viewport's size at least; taller grids scroll.
    setMinimumHeight(heightForWidth(width()));
    updateGeometry();
    layoutCards();
    // Every card's sync state may have changed with the store.
    update();
}

void GroupGrid::paintEvent(QPaintEvent *)
{
    if (m_drawn)
        return;
    m_drawn = true;
    // Said once the whole first frame (the cards come after the grid) is drawn, so a start can be
    // timed to the moment the user sees the groups.
    QTimer::singleShot(0, this, [] { qCInfo(appLogger, "Group grid first frame"); });
}

void GroupGrid::refreshSyncStates()
{
    for (GroupCardView *card : std::as_const(m_cards))
        card->update();
}

void GroupGrid::retitleEmptyState()
{
    m_emptyTitle->setText(localized(QStringLiteral("groupList.emptyTitle")));
    m_emptyHint->setText(localized(QStringLiteral("groupList.emptyHint")));
}

void GroupGrid::retitle()
{
    retitleEmptyState();
    m_newGroupCard->retitle();
    for (GroupCardView *card : std::as_const(m_cards))
        card->retitle();
}

int GroupGrid::heightForWidth(int) const
{
    const int rows = int((m_order.size() + 1 + columns - 1) / columns);
    return padding * 2 + rows * cardHeight + std::max(0, rows - 1) * spacing;
}

QSize GroupGrid::sizeHint() const
{
    return QSize(592, heightForWidth(592));
}

void GroupGrid::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutCards();
}

void GroupGrid::layoutCards()
{
    const qreal columnWidth = std::max<qreal>(10, (width() - 2 * padding - (columns - 1) * spacing) / qreal(columns));
    QList<QWidget *> cells{m_newGroupCard};
    for (const QUuid &id : std::as_const(m_order))
        cells.append(m_cards.value(id));
    for (int i = 0; i < cells.size(); ++i) {
        const int row = i / columns;
        const int column = i % columns;
        const QRectF visual(padding + column * (columnWidth + spacing), padding + row * (cardHeight + spacing), columnWidth, cardHeight);
        cells[i]->setGeometry(visual.toAlignedRect().adjusted(-HoverCard::bleed, -HoverCard::bleed, HoverCard::bleed, HoverCard::bleed));
    }
    // The cell after the new-group card explains it while it is alone.
    m_emptyState->setVisible(m_order.isEmpty());
    if (m_order.isEmpty()) {
        const QRectF visual(padding + columnWidth + spacing, padding, columnWidth, cardHeight);
        m_emptyState->setGeometry(visual.toAlignedRect().adjusted(-HoverCard::bleed, 0, HoverCard::bleed, 0));
    }
}
