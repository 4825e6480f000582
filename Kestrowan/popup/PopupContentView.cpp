#include "Kestrowan/popup/PopupContentView.h"

#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/popup/GridAppCard.h"
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
#include <QVBoxLayout>

namespace {

constexpr qreal cardRadius = 18;
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
    if (!m_model->displayItems().isEmpty()) {
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
    rebuildItems();
    connect(m_model.get(), &PopupContentModel::searchChanged, this, &PopupContentView::rebuildItems);
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
    delete m_itemsArea;
    delete m_footerArea;
    delete m_header;
    delete m_searchBar;
}

QWidget *PopupContentView::divider(qreal opacity)
{
    return new Divider(opacity, this);
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

QWidget *PopupContentView::buildSection(const QList<AppItem> &items)
{
    auto *section = new QWidget;
    const bool grid = m_model->group().displayStyle == AppGroup::DisplayStyle::Grid;
    QGridLayout *gridLayout = nullptr;
    QVBoxLayout *listLayout = nullptr;
    if (grid) {
        gridLayout = new QGridLayout(section);
        gridLayout->setHorizontalSpacing(gridSpacing);
        gridLayout->setVerticalSpacing(gridSpacing);
        gridLayout->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    } else {
        listLayout = new QVBoxLayout(section);
        listLayout->setSpacing(listSpacing);
    }
    section->layout()->setContentsMargins(itemsMargin, itemsMargin, itemsMargin, itemsMargin);
    const int columns = m_model->gridColumns();
    // Every column keeps its width, so a short last row (or a lone item) starts at the left.
    for (int column = 0; gridLayout && column < columns; ++column)
        gridLayout->setColumnMinimumWidth(column, GridAppCard::cardWidth);
    for (int i = 0; i < items.size(); ++i) {
        PopupItemCell *cell = makeCell(i, items.at(i), section);
        m_cells.append(cell);
        if (gridLayout)
            gridLayout->addWidget(cell->parentWidget(), i / columns, i % columns);
        else
            listLayout->addWidget(cell);
    }
    if (listLayout)
        listLayout->addStretch(1);
    return section;
}

void PopupContentView::rebuildItems()
{
    delete m_itemsArea;
    delete m_footerArea;
    m_itemsArea = m_footerArea = nullptr;
    m_footer = nullptr;
    m_emptyState = nullptr;
    m_scroll = nullptr;
    m_cells.clear();

    const QList<AppItem> items = m_model->filteredItems();
    const AppGroup::DisplayStyle style = m_model->group().displayStyle;
    prefetchThumbnails(items);
    if (items.isEmpty()) {
        m_emptyState = new PopupEmptyState(m_model->searchText().isEmpty() ? PopupEmptyState::Kind::EmptyGroup
                                                                          : PopupEmptyState::Kind::NoResults,
                                           m_model->popupTextScale(), this);
        m_itemsArea = m_emptyState;
        m_layout->insertWidget(m_layout->count(), m_itemsArea, 1);
        return;
    }
    QWidget *section = buildSection(items);
    if (PopupLayout::itemsScroll(style, items.size())) {
        m_scroll = new QScrollArea(this);
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setWidgetResizable(true);
        // The card shows through: neither the scroll area nor what it holds paints a background.
        QPalette clear = m_scroll->palette();
        clear.setColor(QPalette::Window, Qt::transparent);
        m_scroll->setPalette(clear);
        m_scroll->viewport()->setPalette(clear);
        m_scroll->viewport()->setAutoFillBackground(false);
        section->setAutoFillBackground(false);
        m_scroll->setWidget(section);
        m_itemsArea = m_scroll;
    } else {
        section->setParent(this);
        m_itemsArea = section;
    }
    m_layout->insertWidget(m_layout->count(), m_itemsArea, 1);

    m_footerArea = new QWidget(this);
    auto *footerColumn = new QVBoxLayout(m_footerArea);
    footerColumn->setContentsMargins(0, 0, 0, 0);
    footerColumn->setSpacing(0);
    footerColumn->addWidget(divider(0.3));
    m_footer = new PopupFooter(*m_model, m_footerArea);
    footerColumn->addWidget(m_footer);
    m_layout->addWidget(m_footerArea);
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
