#include "Kestrowan/popup/PopupItemsSection.h"

#include "Kestrowan/popup/GridAppCard.h"
#include "Kestrowan/popup/ListAppRow.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "NVLXDesign/SoftShadow.h"

#include <QCursor>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QScrollArea>

#include <algorithm>

namespace {

// The cells' shadow: the card's soft shadow, fainter.
constexpr qreal shadowStrength = 0.35;
constexpr qreal shadowRadius = 6;
constexpr qreal shadowDrop = 2;
// The strength the shadow's picture is drawn at.
constexpr qreal shadowPictureAlpha = 0.25;
// Room around a cell that its shadow may cover.
constexpr int shadowPad = 8;

} // namespace

PopupItemsSection::PopupItemsSection(bool grid, int columns, Cells cells, QWidget *parent)
    : QWidget(parent)
    , m_grid(grid)
    , m_columns(std::max(1, columns))
    , m_cells(std::move(cells))
{
    setAutoFillBackground(false);
}

void PopupItemsSection::attach(QScrollArea *scroll)
{
    m_view = scroll->viewport();
    scroll->setWidget(this);
    m_view->installEventFilter(this);
    fit();
}

QWidget *PopupItemsSection::placeOf(PopupItemCell *cell) const
{
    return m_grid ? cell->parentWidget() : static_cast<QWidget *>(cell);
}

void PopupItemsSection::setCount(int count)
{
    m_count = std::max(0, count);
    fit();
    layoutCells(true);
}

int PopupItemsSection::contentHeight() const
{
    if (m_count == 0)
        return 2 * margin;
    if (m_grid) {
        const int rows = (m_count + m_columns - 1) / m_columns;
        return 2 * margin + rows * GridAppCard::cardHeight + (rows - 1) * gridSpacing;
    }
    return 2 * margin + m_count * ListAppRow::rowHeight + (m_count - 1) * listSpacing;
}

QRect PopupItemsSection::itemRect(int index) const
{
    if (m_grid) {
        // The columns keep their width and the block sits in the middle, so a short last row (or a
        // lone item) starts at the left.
        const int block = m_columns * GridAppCard::cardWidth + (m_columns - 1) * gridSpacing;
        const int left = margin + std::max(0, (width() - 2 * margin - block) / 2);
        const int row = index / m_columns, column = index % m_columns;
        return {left + column * (GridAppCard::cardWidth + gridSpacing), margin + row * (GridAppCard::cardHeight + gridSpacing),
                GridAppCard::cardWidth, GridAppCard::cardHeight};
    }
    return {margin, margin + index * (ListAppRow::rowHeight + listSpacing), std::max(0, width() - 2 * margin),
            ListAppRow::rowHeight};
}

PopupItemCell *PopupItemsSection::cellAt(int index) const
{
    const auto found = m_bound.find(index);
    return found == m_bound.end() ? nullptr : found->second;
}

int PopupItemsSection::indexOf(const PopupItemCell *cell) const
{
    for (const auto &[index, bound] : m_bound) {
        if (bound == cell)
            return index;
    }
    return -1;
}

void PopupItemsSection::fit()
{
    if (m_view)
        resize(m_view->width(), std::max(contentHeight(), m_view->height()));
}

void PopupItemsSection::layoutCells(bool rebindAll)
{
    if (!m_view || m_layingOut)
        return;
    m_layingOut = true;
    // The rows in the view and one more on either side, so a scroll by a little finds them ready.
    const int pitch = m_grid ? GridAppCard::cardHeight + gridSpacing : ListAppRow::rowHeight + listSpacing;
    const int perRow = m_grid ? m_columns : 1;
    const int rows = (m_count + perRow - 1) / perRow;
    const int top = -y() - pitch - margin;
    const int bottom = -y() + m_view->height() + pitch - margin;
    const int firstRow = std::max(0, top / pitch);
    const int lastRow = std::min(rows - 1, std::max(0, bottom) / pitch);
    const int first = firstRow * perRow;
    const int end = rows == 0 ? 0 : std::min(m_count, (lastRow + 1) * perRow);

    // Cells whose item left the range become spare; an item that keeps its place keeps its cell.
    QList<PopupItemCell *> spare;
    for (auto it = m_bound.begin(); it != m_bound.end();) {
        if (it->first < first || it->first >= end) {
            spare.append(it->second);
            it = m_bound.erase(it);
        } else {
            ++it;
        }
    }
    for (PopupItemCell *cell : std::as_const(m_built)) {
        if (!spare.contains(cell) && indexOf(cell) < 0)
            spare.append(cell);
    }
    for (int index = first; index < end; ++index) {
        PopupItemCell *cell = cellAt(index);
        if (cell) {
            if (rebindAll)
                m_cells.bind(cell, index);
        } else if (!spare.isEmpty()) {
            cell = spare.takeLast();
            m_cells.bind(cell, index);
        } else {
            cell = m_cells.make(index, this);
            m_built.append(cell);
        }
        m_bound[index] = cell;
        QWidget *place = placeOf(cell);
        const QRect rect = itemRect(index);
        if (place->geometry() != rect)
            place->setGeometry(rect);
        if (place->isHidden())
            place->show();
    }
    for (PopupItemCell *cell : std::as_const(spare)) {
        cell->setHoveringInPlace(false);
        if (!placeOf(cell)->isHidden())
            placeOf(cell)->hide();
    }
    m_layingOut = false;
    update();
    refreshHover();
}

void PopupItemsSection::refreshHover()
{
    if (!m_view || !isVisible())
        return;
    // Asking where the pointer is may cost a trip to the window system: only while it is over the view.
    const bool underMouse = m_view->underMouse();
    const QPoint pointer = underMouse ? QCursor::pos() : QPoint();
    const bool inView = underMouse && m_view->rect().contains(m_view->mapFromGlobal(pointer));
    const QPoint at = mapFromGlobal(pointer);
    for (const auto &[index, cell] : m_bound) {
        const QWidget *place = placeOf(cell);
        const QRect cellRect(cell->mapTo(this, QPoint(0, 0)), cell->size());
        cell->setHoveringInPlace(inView && !place->isHidden() && cellRect.contains(at));
    }
}

const QPixmap &PopupItemsSection::shadow()
{
    QColor color = PopupStyle::shadowSoft(this);
    const QSize cell = m_grid ? QSize(GridAppCard::cardWidth, GridAppCard::cardHeight) : itemRect(0).size();
    const qreal ratio = devicePixelRatioF();
    const qint64 key = qint64(color.rgb() & 0xFFFFFF) ^ (qint64(cell.width()) << 24) ^ (qint64(cell.height()) << 40)
                       ^ (qint64(ratio * 100) << 52);
    if (!m_shadow.isNull() && key == m_shadowKey)
        return m_shadow;
    m_shadowKey = key;
    // Every popup's cells cast the same shadow: the picture is made once for the program, not for
    // each show.
    const QString shared = QStringLiteral("kestrowan.popup.cellShadow:%1:%2:%3x%4@%5")
                               .arg(int(m_grid))
                               .arg(color.rgba(), 0, 16)
                               .arg(cell.width())
                               .arg(cell.height())
                               .arg(ratio);
    if (QPixmapCache::find(shared, &m_shadow))
        return m_shadow;
    // One picture of the shadow for every cell, drawn strong enough that its soft edge survives
    // eight bits a pixel; it is laid down at the strength the token asks for. The light look's
    // shadow is so faint that drawn at its own strength it would round away to nothing.
    const QSize size = cell + QSize(2 * shadowPad, 2 * shadowPad);
    QPixmap picture(size * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    color.setAlphaF(float(shadowPictureAlpha));
    QPainter painter(&picture);
    paintSoftShadow(painter, QRectF(shadowPad, shadowPad, cell.width(), cell.height()), m_grid ? 14 : 10, color,
                    shadowRadius, QPointF(0, shadowDrop));
    painter.end();
    m_shadow = picture;
    QPixmapCache::insert(shared, picture);
    return m_shadow;
}

void PopupItemsSection::paintEvent(QPaintEvent *event)
{
    if (m_bound.empty())
        return;
    const QPixmap &picture = shadow();
    QPainter painter(this);
    painter.setOpacity(std::min<qreal>(1, PopupStyle::shadowSoft(this).alphaF() * shadowStrength / shadowPictureAlpha));
    for (const auto &[index, cell] : m_bound) {
        const QWidget *place = placeOf(cell);
        if (place->isHidden())
            continue;
        const QRect around = place->geometry().adjusted(-shadowPad, -shadowPad, shadowPad, shadowPad);
        if (around.intersects(event->rect()))
            painter.drawPixmap(around.topLeft(), picture);
    }
}

void PopupItemsSection::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutCells(false);
}

void PopupItemsSection::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    layoutCells(false);
}

bool PopupItemsSection::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::Resize) {
        fit();
        layoutCells(false);
    }
    return QWidget::eventFilter(watched, event);
}
