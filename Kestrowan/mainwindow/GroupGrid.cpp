#include "Kestrowan/mainwindow/GroupGrid.h"

#include <algorithm>

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/mainwindow/GroupCardView.h"
#include "Kestrowan/mainwindow/NewGroupCardView.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/SystemFont.h"

#include <QDeadlineTimer>
#include <QEvent>
#include <QVBoxLayout>

namespace {

// How long one turn of the event loop may spend building cards that are out of sight: short
// enough that scrolling, typing and the icons' composition go on in between.
constexpr int laterCardsSliceMilliseconds = 4;

// The focusable widgets of `root`'s part of the focus chain, `root` first.
QList<QWidget *> focusableChain(QWidget *root)
{
    QList<QWidget *> chain{root};
    for (QWidget *next = root->nextInFocusChain(); next != root && root->isAncestorOf(next); next = next->nextInFocusChain()) {
        if (next->focusPolicy() != Qt::NoFocus)
            chain.append(next);
    }
    return chain;
}

// Moves `root` and its focusable descendants right behind `anchor`'s, so Tab reaches a card built
// late between its neighbours in the grid and not after the widgets built before it.
void placeInFocusChainAfter(QWidget *anchor, QWidget *root)
{
    QWidget *previous = focusableChain(anchor).constLast();
    for (QWidget *widget : focusableChain(root)) {
        QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

} // namespace

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
    m_laterCards.setSingleShot(true);
    m_laterCards.setInterval(0);
    connect(&m_laterCards, &QTimer::timeout, this, &GroupGrid::buildLaterCards);
    connect(m_newGroupCard, &HoverCard::clicked, this, &GroupGrid::newGroupTapped);
    connect(&m_store, &GroupManager::groupsChanged, this, &GroupGrid::followStore);
    connect(&DockService::instance(), &DockService::syncBlockDidChange, this, &GroupGrid::refreshSyncStates);
    // A sync that ends after the grid is back on screen (the editor's, when it is left early).
    connect(&m_store, &GroupManager::dockSyncRecordChanged, this, &GroupGrid::refreshSyncStates);
    followStore();
}

void GroupGrid::catchUpCards()
{
    if (!std::exchange(m_cardsBehind, false))
        return;
    for (const AppGroup &group : std::as_const(m_groups)) {
        if (GroupCardView *card = m_cards.value(group.id))
            card->setGroup(group);
    }
}

GroupCardView *GroupGrid::card(const QUuid &groupID)
{
    catchUpCards();
    for (qsizetype i = 0; i < m_groups.size(); ++i) {
        if (m_groups.at(i).id == groupID)
            return cardAt(i);
    }
    return nullptr;
}

QList<GroupCardView *> GroupGrid::cards()
{
    catchUpCards();
    QList<GroupCardView *> list;
    for (qsizetype i = 0; i < m_groups.size(); ++i)
        list.append(cardAt(i));
    return list;
}

GroupCardView *GroupGrid::cardAt(qsizetype index)
{
    const AppGroup &group = m_groups.at(index);
    if (GroupCardView *built = m_cards.value(group.id))
        return built;
    GroupCardView *card = makeCard(group);
    m_cards.insert(group.id, card);
    card->setGeometry(cellGeometry(index + 1));
    QWidget *before = m_newGroupCard;
    for (qsizetype i = index - 1; i >= 0; --i) {
        if (GroupCardView *built = m_cards.value(m_groups.at(i).id)) {
            before = built;
            break;
        }
    }
    placeInFocusChainAfter(before, card);
    card->show();
    return card;
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
    return card;
}

void GroupGrid::followStore()
{
    // A change inside groups that keep their places (a name typed key by key, an item added)
    // moves no cell: the cards take their groups' new values and the layout stays.
    const QList<AppGroup> &groups = m_store.groups();
    const bool samePlaces = groups.size() == m_groups.size()
        && std::equal(groups.cbegin(), groups.cend(), m_groups.cbegin(),
                      [](const AppGroup &a, const AppGroup &b) { return a.id == b.id; });
    if (samePlaces) {
        m_groups = groups;
        // Out of sight (the editor is open on a name being typed), the cards take their new values
        // when they are shown or asked for.
        m_cardsBehind = true;
        if (isVisible())
            catchUpCards();
        // Every card's sync state may have changed with the store.
        update();
        return;
    }
    m_cardsBehind = false;
    QHash<QUuid, GroupCardView *> previous = std::exchange(m_cards, {});
    m_groups.clear();
    for (const AppGroup &group : m_store.groups()) {
        // A damaged file may hold one id twice; the first group of that id has the card.
        if (std::any_of(m_groups.cbegin(), m_groups.cend(), [&group](const AppGroup &known) { return known.id == group.id; }))
            continue;
        if (GroupCardView *card = previous.take(group.id)) {
            card->setGroup(group);
            m_cards.insert(group.id, card);
        }
        m_groups.append(group);
    }
    for (GroupCardView *gone : std::as_const(previous))
        gone->deleteLater();
    for (GroupCardView *gone : std::as_const(previous))
        gone->hide();
    // The scroll area gives the grid the viewport's size at least; taller grids scroll.
    setMinimumHeight(heightForWidth(width()));
    updateGeometry();
    layoutCards();
    // Groups that came with this change and are out of sight get their cards after the grid was
    // drawn, as at the start.
    if (m_drawn && m_cards.size() < m_groups.size())
        m_laterCards.start();
    // Every card's sync state may have changed with the store.
    update();
}

bool GroupGrid::event(QEvent *event)
{
    // Scrolling moves the grid in the scroll area's viewport, and a taller viewport shows more of
    // it; both bring cells into sight.
    if (event->type() == QEvent::ParentChange) {
        if (m_watchedViewport)
            m_watchedViewport->removeEventFilter(this);
        m_watchedViewport = parentWidget();
        if (m_watchedViewport)
            m_watchedViewport->installEventFilter(this);
    }
    return QWidget::event(event);
}

bool GroupGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedViewport && event->type() == QEvent::Resize)
        buildCardsInSight();
    return QWidget::eventFilter(watched, event);
}

void GroupGrid::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    buildCardsInSight();
}

void GroupGrid::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    catchUpCards();
    buildCardsInSight();
}

void GroupGrid::buildCardsInSight()
{
    // The part of the grid that can be seen: in the scroll area, the viewport's height from where
    // it is scrolled to; a grid in no window yet shows nothing.
    QWidget *viewport = parentWidget();
    if (!viewport && !isVisible())
        return;
    const int sightTop = viewport ? std::max(0, -y()) : 0;
    const int sightBottom = sightTop + (viewport ? viewport->height() : height());
    const int rowPitch = cardHeight + spacing;
    // One row more below, so that a little scrolling never finds an empty cell.
    const qsizetype lastRow = std::max(0, sightBottom - padding) / rowPitch + 1;
    const qsizetype lastCell = std::min<qsizetype>(m_groups.size(), (lastRow + 1) * columns - 1);
    const qsizetype firstCell = std::max<qsizetype>(1, std::max(0, sightTop - padding) / rowPitch * columns);
    for (qsizetype cell = firstCell; cell <= lastCell; ++cell)
        cardAt(cell - 1);
}

void GroupGrid::buildLaterCards()
{
    const QDeadlineTimer slice(laterCardsSliceMilliseconds);
    for (qsizetype i = 0; i < m_groups.size(); ++i) {
        if (m_cards.contains(m_groups.at(i).id))
            continue;
        if (slice.hasExpired()) {
            m_laterCards.start();
            return;
        }
        cardAt(i);
    }
}

void GroupGrid::paintEvent(QPaintEvent *)
{
    if (m_drawn)
        return;
    m_drawn = true;
    // Said once the whole first frame (the cards come after the grid) is drawn, so a start can be
    // timed to the moment the user sees the groups.
    QTimer::singleShot(0, this, [] { qCDebug(appLogger, "Group grid first frame"); });
    if (m_cards.size() < m_groups.size())
        m_laterCards.start();
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
    const int rows = int((m_groups.size() + 1 + columns - 1) / columns);
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

QRect GroupGrid::cellGeometry(qsizetype index) const
{
    const qreal columnWidth = std::max<qreal>(10, (width() - 2 * padding - (columns - 1) * spacing) / qreal(columns));
    const qsizetype row = index / columns;
    const qsizetype column = index % columns;
    const QRectF visual(padding + column * (columnWidth + spacing), padding + row * (cardHeight + spacing), columnWidth, cardHeight);
    return visual.toAlignedRect().adjusted(-HoverCard::bleed, -HoverCard::bleed, HoverCard::bleed, HoverCard::bleed);
}

void GroupGrid::layoutCards()
{
    m_newGroupCard->setGeometry(cellGeometry(0));
    for (qsizetype i = 0; i < m_groups.size(); ++i) {
        if (GroupCardView *card = m_cards.value(m_groups.at(i).id))
            card->setGeometry(cellGeometry(i + 1));
    }
    buildCardsInSight();
    // The cell after the new-group card explains it while it is alone.
    m_emptyState->setVisible(m_groups.isEmpty());
    if (m_groups.isEmpty()) {
        const QRect cell = cellGeometry(1);
        m_emptyState->setGeometry(cell.adjusted(0, HoverCard::bleed, 0, -HoverCard::bleed));
    }
}
