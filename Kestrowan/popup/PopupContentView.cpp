#include "Kestrowan/popup/PopupContentView.h"

#include "Kestrowan/popup/InteractivePopupPanel.h"

#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/popup/GridAppCard.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/ListAppRow.h"
#include "Kestrowan/popup/OpenedIndicator.h"
#include "Kestrowan/popup/PopupAppearEffect.h"
#include "Kestrowan/popup/PopupEmptyState.h"
#include "Kestrowan/popup/PopupFooter.h"
#include "Kestrowan/popup/PopupHeader.h"
#include "Kestrowan/popup/PopupItemStates.h"
#include "Kestrowan/popup/PopupLauncher.h"
#include "Kestrowan/popup/PopupLayout.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/popup/PopupSearchBar.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "Platform/Workspace.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

constexpr qreal cardRadius = InteractivePopupPanel::cornerRadius;
constexpr int itemsMargin = 14;
constexpr int gridSpacing = 14;
constexpr int listSpacing = 6;
constexpr qreal thumbnailPoints = 128;

class Divider : public QWidget {
public:
    Divider(qreal opacity, QWidget *parent) : QWidget(parent), m_opacity(opacity) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        QColor color = PopupStyle::separator(this);
        color.setAlphaF(float(color.alphaF() * m_opacity));
        painter.fillRect(rect(), color);
    }

private:
    qreal m_opacity;
};

} // namespace

// The cells of the items the search shows, placed in the grid's columns or the list's rows. A new
// search moves cells instead of building them again, and only the cells in or next to the view are
// shown: every shown sibling makes each show, hide and move of the others dearer, and a popup of a
// thousand items would pay that on every key.
class PopupItemsSection : public QWidget {
public:
    PopupItemsSection(bool grid, int columns, QWidget *parent) : QWidget(parent), m_grid(grid), m_columns(columns) {}

    // Goes into `scroll`, as wide as its view and as tall as the shown cells need (at least the view).
    void attach(QScrollArea *scroll)
    {
        m_view = scroll->viewport();
        scroll->setWidget(this);
        m_view->installEventFilter(this);
    }
    // `shown` in order; the caller has hidden the cells that left it.
    void setShown(QList<QWidget *> shown)
    {
        m_shown = std::move(shown);
        fit();
        place();
    }
    // Shows the cells near the view and hides the others.
    void revealCellsInView()
    {
        if (!m_view)
            return;
        const int reach = GridAppCard::cardHeight + gridSpacing;
        const QRect inView(0, -y() - reach, width(), m_view->height() + 2 * reach);
        for (QWidget *cell : std::as_const(m_shown)) {
            const bool near = inView.intersects(cell->geometry());
            if (near == cell->isHidden())
                cell->setVisible(near);
        }
    }
    int contentHeight() const
    {
        const int count = int(m_shown.size());
        if (count == 0)
            return 2 * itemsMargin;
        if (m_grid) {
            const int rows = (count + m_columns - 1) / m_columns;
            return 2 * itemsMargin + rows * GridAppCard::cardHeight + (rows - 1) * gridSpacing;
        }
        return 2 * itemsMargin + count * ListAppRow::rowHeight + (count - 1) * listSpacing;
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        place();
    }
    // The scroll area scrolls by moving this widget.
    void moveEvent(QMoveEvent *event) override
    {
        QWidget::moveEvent(event);
        revealCellsInView();
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_view && event->type() == QEvent::Resize)
            fit();
        return QWidget::eventFilter(watched, event);
    }

private:
    void fit()
    {
        if (m_view)
            resize(m_view->width(), std::max(contentHeight(), m_view->height()));
    }
    void place()
    {
        if (m_grid) {
            // The columns keep their width and the block sits in the middle, so a short last row
            // (or a lone item) starts at the left.
            const int block = m_columns * GridAppCard::cardWidth + (m_columns - 1) * gridSpacing;
            const int left = itemsMargin + std::max(0, (width() - 2 * itemsMargin - block) / 2);
            for (int i = 0; i < int(m_shown.size()); ++i) {
                const int row = i / m_columns, column = i % m_columns;
                m_shown.at(i)->move(left + column * (GridAppCard::cardWidth + gridSpacing),
                                    itemsMargin + row * (GridAppCard::cardHeight + gridSpacing));
            }
        } else {
            const int rowWidth = std::max(0, width() - 2 * itemsMargin);
            for (int i = 0; i < int(m_shown.size()); ++i)
                m_shown.at(i)->setGeometry(itemsMargin, itemsMargin + i * (ListAppRow::rowHeight + listSpacing),
                                           rowWidth, ListAppRow::rowHeight);
        }
        revealCellsInView();
    }

    bool m_grid;
    int m_columns;
    QList<QWidget *> m_shown;
    QWidget *m_view = nullptr;
};

PopupContentView::PopupContentView(PopupContentModel::Inputs inputs, std::unique_ptr<PopupLauncher> launcher,
                                   PopupItemStates *itemStates, QWidget *parent)
    : QWidget(parent)
    , m_launcher(std::move(launcher))
    , m_model(std::make_unique<PopupContentModel>(std::move(inputs), *m_launcher))
    , m_itemStates(itemStates)
    , m_header(new PopupHeader(*m_model, this))
    , m_layout(new QVBoxLayout(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addWidget(m_header);
    m_displayItems = m_model->displayItems();
    if (!m_displayItems.isEmpty()) {
        m_searchBar = new PopupSearchBar(*m_model, this);
        m_layout->addWidget(m_searchBar);
    }
    m_layout->addWidget(divider(0.45));
    m_openFailureLine = new TokenLabel(QString(), AppColors::danger, PopupStyle::font(12, QFont::Medium), this);
    m_openFailureLine->setWordWrap(true);
    m_openFailureLine->setAlignment(Qt::AlignCenter);
    m_openFailureLine->setContentsMargins(itemsMargin, 8, itemsMargin, 0);
    m_openFailureLine->hide();
    m_layout->addWidget(m_openFailureLine);
    connect(m_model.get(), &PopupContentModel::openFailureChanged, this, [this] {
        m_openFailureLine->setText(m_model->openFailure());
        m_openFailureLine->setVisible(!m_model->openFailure().isEmpty());
    });
    buildItems();
    showFilteredItems();
    connect(m_model.get(), &PopupContentModel::searchChanged, this, &PopupContentView::showFilteredItems);
    connect(m_model.get(), &PopupContentModel::focusChanged, this, &PopupContentView::updateFocus);
    m_keySubscription = connect(&PopupNotifications::center(), &PopupNotifications::popupKeyDown, m_model.get(),
                                &PopupContentModel::handleKeyNotification);
}

void PopupContentView::stopListening()
{
    disconnect(m_keySubscription);
    m_header->stopListening();
}

PopupContentView::~PopupContentView()
{
    // The widgets below talk to the model; they go first.
    delete m_scroll;
    delete m_emptyState;
    delete m_footerArea;
    delete m_header;
    delete m_searchBar;
}

QWidget *PopupContentView::divider(qreal opacity)
{
    return new Divider(opacity, this);
}

PopupFooter *PopupContentView::footer() const
{
    return m_footerArea && !m_footerArea->isHidden() ? m_footer : nullptr;
}

PopupEmptyState *PopupContentView::emptyState() const
{
    return m_emptyState && !m_emptyState->isHidden() ? m_emptyState : nullptr;
}

QScrollArea *PopupContentView::scrollArea() const
{
    if (!m_scroll || m_scroll->isHidden())
        return nullptr;
    return PopupLayout::itemsScroll(m_model->group().displayStyle, m_cells.size()) ? m_scroll : nullptr;
}

PopupItemCell *PopupContentView::makeCell(int index, const AppItem &item, QWidget *parent)
{
    PopupCellInputs inputs;
    inputs.app = item;
    if (index < 9)
        inputs.shortcutNumber = index + 1;
    if (const std::optional<QString> opener = PopupLauncher::openerPath(m_model->group(), item))
        inputs.openerIcon = Workspace::shared().iconForFile(*opener);
    inputs.isFocused = m_model->focusedIndex() == index;
    inputs.isOpened = m_itemStates && m_itemStates->isItemActive(item);
    const bool grid = m_model->group().displayStyle == AppGroup::DisplayStyle::Grid;
    PopupContentModel *model = m_model.get();
    inputs.onLaunch = [model, item] { model->chooseItem(item); };
    if (!grid)
        return new ListAppRow(std::move(inputs), parent);
    // The grid's slot holds the card and, laid over it from outside, the opened dot, which keeps
    // full opacity while the card is pressed.
    auto *slot = new QWidget(parent);
    slot->setFixedSize(GridAppCard::cardWidth, GridAppCard::cardHeight);
    const bool opened = inputs.isOpened;
    auto *card = new GridAppCard(std::move(inputs), slot);
    if (opened) {
        auto *dot = new OpenedIndicator(9, slot);
        const qreal center = 4 + 4.5;
        dot->move(qRound(GridAppCard::cardWidth - center - dot->width() / 2.0), qRound(center - dot->height() / 2.0));
    }
    return card;
}

void PopupContentView::buildItems()
{
    if (m_displayItems.isEmpty())
        return;
    prefetchThumbnails(m_displayItems);
    const bool grid = m_model->group().displayStyle == AppGroup::DisplayStyle::Grid;
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The card shows through: neither the scroll area nor what it holds paints a background.
    QPalette clear = m_scroll->palette();
    clear.setColor(QPalette::Window, Qt::transparent);
    m_scroll->setPalette(clear);
    m_scroll->viewport()->setPalette(clear);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_section = new PopupItemsSection(grid, m_model->gridColumns(), nullptr);
    m_section->setAutoFillBackground(false);
    m_allCells.reserve(m_displayItems.size());
    for (int i = 0; i < int(m_displayItems.size()); ++i) {
        PopupItemCell *cell = makeCell(i, m_displayItems.at(i), m_section);
        // Shown once it comes near the view.
        (grid ? cell->parentWidget() : static_cast<QWidget *>(cell))->hide();
        m_allCells.append(cell);
    }
    m_section->attach(m_scroll);
    m_layout->addWidget(m_scroll, 1);

    m_footerArea = new QWidget(this);
    auto *footerColumn = new QVBoxLayout(m_footerArea);
    footerColumn->setContentsMargins(0, 0, 0, 0);
    footerColumn->setSpacing(0);
    footerColumn->addWidget(divider(0.3));
    m_footer = new PopupFooter(*m_model, m_footerArea);
    footerColumn->addWidget(m_footer);
    m_layout->addWidget(m_footerArea);
}

void PopupContentView::showFilteredItems()
{
    QList<int> shown = PopupLayout::filteredIndexes(m_displayItems, m_model->searchText());
    if (!m_cells.isEmpty() && shown == m_shownIndexes)
        return;
    if (shown.isEmpty()) {
        m_shownIndexes.clear();
        m_cells.clear();
        if (m_scroll)
            m_scroll->hide();
        if (m_footerArea)
            m_footerArea->hide();
        showEmptyState(!m_model->searchText().isEmpty());
        return;
    }
    if (m_emptyState)
        m_emptyState->hide();
    const auto place = [this](int index) -> QWidget * {
        QWidget *cell = m_allCells.at(index);
        return m_model->group().displayStyle == AppGroup::DisplayStyle::Grid ? cell->parentWidget() : cell;
    };
    // Only the cells that come or go change their visibility.
    QList<bool> wanted(m_allCells.size(), false);
    for (const int index : std::as_const(shown))
        wanted[index] = true;
    for (int index = 0; index < int(m_allCells.size()); ++index) {
        if (!wanted.at(index) && !place(index)->isHidden())
            place(index)->hide();
    }
    QList<QWidget *> placed;
    placed.reserve(shown.size());
    m_cells.clear();
    for (int i = 0; i < int(shown.size()); ++i) {
        PopupItemCell *cell = m_allCells.at(shown.at(i));
        cell->setShortcutNumber(i < 9 ? std::optional<int>(i + 1) : std::nullopt);
        m_cells.append(cell);
        placed.append(place(shown.at(i)));
    }
    m_scroll->verticalScrollBar()->setValue(0);
    m_section->setShown(placed);
    m_shownIndexes = std::move(shown);
    m_scroll->show();
    m_footerArea->show();
}

void PopupContentView::showEmptyState(bool noResults)
{
    const PopupEmptyState::Kind kind = noResults ? PopupEmptyState::Kind::NoResults : PopupEmptyState::Kind::EmptyGroup;
    if (m_emptyState && m_emptyState->kind() != kind) {
        delete m_emptyState;
        m_emptyState = nullptr;
    }
    if (!m_emptyState) {
        m_emptyState = new PopupEmptyState(kind, m_model->popupTextScale(), this);
        m_layout->insertWidget(m_scroll ? m_layout->indexOf(m_scroll) : m_layout->count(), m_emptyState, 1);
    }
    m_emptyState->show();
}

void PopupContentView::prefetchThumbnails(const QList<AppItem> &items)
{
    const bool any = std::any_of(items.cbegin(), items.cend(),
                                 [](const AppItem &item) { return ThumbnailCache::handles(item.itemURL()); });
    if (any)
        ThumbnailCache::shared().prefetch(items, QSizeF(thumbnailPoints, thumbnailPoints), devicePixelRatioF(), this);
}

void PopupContentView::updateFocus()
{
    const std::optional<int> focus = m_model->focusedIndex();
    for (int i = 0; i < m_cells.size(); ++i)
        m_cells.at(i)->setFocused(focus == i);
    if (focus && *focus < m_cells.size() && m_scroll)
        m_scroll->ensureWidgetVisible(m_cells.at(*focus), 0, itemsMargin);
}

void PopupContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_appeared)
        return;
    m_appeared = true;
    PopupAppearEffect::play(this, m_model->dockPosition());
}

void PopupContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cardRadius, cardRadius);
    painter.setPen(QPen(PopupStyle::strokeSubtle(this), 1));
    painter.setBrush(PopupStyle::surfaceRaised(this));
    painter.drawPath(card);
}
