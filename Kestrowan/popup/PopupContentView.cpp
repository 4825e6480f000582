#include "Kestrowan/popup/PopupContentView.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/popup/GridAppCard.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/ListAppRow.h"
#include "Kestrowan/popup/OpenedIndicator.h"
#include "Kestrowan/popup/PopupAppearEffect.h"
#include "Kestrowan/popup/PopupEmptyState.h"
#include "Kestrowan/popup/PopupFooter.h"
#include "Kestrowan/popup/PopupHeader.h"
#include "Kestrowan/dock/PopupItemStates.h"
#include "Kestrowan/popup/PopupItemsSection.h"
#include "Kestrowan/popup/PopupLauncher.h"
#include "Kestrowan/popup/PopupLayout.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/popup/PopupSearchBar.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "Platform/Workspace.h"

#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QCursor>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr qreal cardRadius = InteractivePopupPanel::cornerRadius;
constexpr int itemsMargin = PopupItemsSection::margin;
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
    connect(&LanguageManager::shared(), &LanguageManager::bundleChanged, this, &PopupContentView::updateTexts);
}

void PopupContentView::updateTexts()
{
    // The footer and the empty views are laid out around their texts: they are made again in the
    // new language, in their places.
    if (m_footer) {
        auto *fresh = new PopupFooter(*m_model, m_footerArea);
        delete m_footerArea->layout()->replaceWidget(m_footer, fresh);
        delete m_footer;
        m_footer = fresh;
        m_footer->show();
    }
    if (m_emptyState) {
        const bool shown = !m_emptyState->isHidden();
        const PopupEmptyState::Kind kind = m_emptyState->kind();
        delete m_emptyState;
        m_emptyState = nullptr;
        if (shown)
            showEmptyState(kind == PopupEmptyState::Kind::NoResults);
    }
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
    return PopupLayout::itemsScroll(m_model->group().displayStyle, cellCount()) ? m_scroll : nullptr;
}

int PopupContentView::cellCount() const
{
    return int(m_shownIndexes.size());
}

PopupItemCell *PopupContentView::cellAt(int index) const
{
    return m_section ? m_section->cellAt(index) : nullptr;
}

QList<PopupItemCell *> PopupContentView::builtCells() const
{
    return m_section ? m_section->builtCells() : QList<PopupItemCell *>();
}

PopupCellInputs PopupContentView::cellInputs(int index)
{
    const int displayIndex = m_shownIndexes.at(index);
    const AppItem &item = m_displayItems.at(displayIndex);
    PopupCellInputs inputs;
    inputs.app = item;
    if (index < 9)
        inputs.shortcutNumber = index + 1;
    // The opener's icon is looked up once per item, however often the item scrolls by.
    auto opener = m_openerIcons.find(displayIndex);
    if (opener == m_openerIcons.end()) {
        QIcon icon;
        if (const std::optional<QString> path = PopupLauncher::openerPath(m_model->group(), item))
            icon = Workspace::shared().keptIconForFile(*path).icon;
        opener = m_openerIcons.insert(displayIndex, icon);
    }
    inputs.openerIcon = *opener;
    inputs.isFocused = m_model->focusedIndex() == index;
    inputs.isFocusElsewhere = m_model->focusedIndex() && !inputs.isFocused;
    inputs.isOpened = m_itemStates && m_itemStates->isItemActive(item);
    PopupContentModel *model = m_model.get();
    inputs.onLaunch = [model, item] { model->chooseItem(item); };
    return inputs;
}

PopupItemCell *PopupContentView::makeCell(int index, QWidget *parent)
{
    PopupCellInputs inputs = cellInputs(index);
    PopupItemCell *cell = nullptr;
    if (m_model->group().displayStyle != AppGroup::DisplayStyle::Grid) {
        cell = new ListAppRow(std::move(inputs), parent);
    } else {
        // The grid's slot holds the card and, laid over it from outside, the opened dot, which
        // keeps full opacity while the card is pressed.
        auto *slot = new QWidget(parent);
        slot->setFixedSize(GridAppCard::cardWidth, GridAppCard::cardHeight);
        const bool opened = inputs.isOpened;
        cell = new GridAppCard(std::move(inputs), slot);
        showOpenedDot(slot, opened);
    }
    prefetchApplicationIcons(cell->picturePixels());
    connect(cell, &PopupItemCell::pointerMoved, this, [this, cell](const QPoint &at) { followPointer(cell, at); });
    return cell;
}

void PopupContentView::prefetchApplicationIcons(const QList<int> &pixels)
{
    // Every application's icon is asked for once, at rest and highlighted, as the first cells show
    // (both sizes of a file go to the helper in one request, decoded once): a search that brings an
    // item into view or highlights it later finds its icon at hand, and no key starts a helper.
    // Their files are looked at beside the main thread once the popup has drawn its first frame,
    // so that showing it waits for none of it.
    if (m_applicationIconPixels == pixels)
        return;
    m_applicationIconPixels = pixels;
    if (m_painted)
        ApplicationIcon::prefetch(m_displayItems, pixels);
}

void PopupContentView::prefetchAfterFirstFrame()
{
    if (std::exchange(m_painted, true))
        return;
    // The documents' and folders' files, their previews' pictures and their openers' files are
    // looked at beside the main thread too, the same way: a search finds them at hand, and a file
    // that changed since the last show is drawn anew.
    QTimer::singleShot(0, this, [this] {
        prefetchItemPreviews(m_displayItems, PopupLauncher::openerPaths(m_model->group(), m_displayItems));
        if (!m_applicationIconPixels.isEmpty())
            ApplicationIcon::prefetch(m_displayItems, m_applicationIconPixels);
    });
}

void PopupContentView::showOpenedDot(QWidget *slot, bool opened)
{
    auto *dot = slot->findChild<OpenedIndicator *>(QString(), Qt::FindDirectChildrenOnly);
    if (!opened) {
        delete dot;
        return;
    }
    if (dot)
        return;
    dot = new OpenedIndicator(9, slot);
    const qreal center = 4 + 4.5;
    dot->move(qRound(GridAppCard::cardWidth - center - dot->width() / 2.0), qRound(center - dot->height() / 2.0));
    dot->show();
}

void PopupContentView::bindCell(PopupItemCell *cell, int index)
{
    PopupCellInputs inputs = cellInputs(index);
    if (m_model->group().displayStyle == AppGroup::DisplayStyle::Grid)
        showOpenedDot(cell->parentWidget(), inputs.isOpened);
    cell->bind(std::move(inputs));
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
    m_section = new PopupItemsSection(grid, m_model->gridColumns(),
                                      {[this](int index, QWidget *parent) { return makeCell(index, parent); },
                                       [this](PopupItemCell *cell, int index) { bindCell(cell, index); }});
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
    if (m_shownOnce && shown == m_shownIndexes)
        return;
    m_shownOnce = true;
    if (shown.isEmpty()) {
        m_shownIndexes.clear();
        if (m_section)
            m_section->setCount(0);
        if (m_scroll)
            m_scroll->hide();
        if (m_footerArea)
            m_footerArea->hide();
        showEmptyState(!m_model->searchText().isEmpty());
        return;
    }
    if (m_emptyState)
        m_emptyState->hide();
    m_shownIndexes = std::move(shown);
    m_scroll->verticalScrollBar()->setValue(0);
    m_section->setCount(int(m_shownIndexes.size()));
    m_scroll->show();
    m_footerArea->show();
    // Shown again after a search that found nothing: the pointer may rest on a cell already.
    m_section->refreshHover();
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
                                 [](const AppItem &item) { return ThumbnailCache::handles(item); });
    if (any)
        ThumbnailCache::shared().prefetch(items, QSizeF(thumbnailPoints, thumbnailPoints), devicePixelRatioF(), this);
}

void PopupContentView::updateFocus()
{
    const std::optional<int> focus = m_model->focusedIndex();
    if (!m_section)
        return;
    if (focus && *focus < cellCount() && m_scroll) {
        // The focused item comes into view first, so that it has a cell to show the focus.
        const QRect item = m_section->itemRect(*focus);
        m_scroll->ensureVisible(item.center().x(), item.center().y(), item.width() / 2, item.height() / 2 + itemsMargin);
    }
    for (const auto &[index, cell] : m_section->boundCells())
        cell->setFocused(focus == index, focus && focus != index);
    // Where the pointer rests now: cells that scroll under it do not take the highlight back.
    if (focus)
        m_pointerAtFocusChange = QCursor::pos();
}

void PopupContentView::followPointer(PopupItemCell *cell, const QPoint &at)
{
    // One highlight: once the keyboard has one, the pointer moved onto a cell takes it there, so
    // Return opens what looks chosen.
    const std::optional<int> focus = m_model->focusedIndex();
    if (!focus || !m_section || at == m_pointerAtFocusChange)
        return;
    for (const auto &[index, bound] : m_section->boundCells()) {
        if (bound == cell && index != *focus) {
            m_model->followPointerTo(index);
            return;
        }
    }
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
    prefetchAfterFirstFrame();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cardRadius, cardRadius);
    painter.setPen(QPen(PopupStyle::strokeSubtle(this), 1));
    painter.setBrush(PopupStyle::surfaceRaised(this));
    painter.drawPath(card);
}
