#include "Kestrowan/editor/EditorItemSection.h"

#include "Kestrowan/editor/EditorActionButton.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemCell.h"
#include "Kestrowan/editor/OpenerRulesEditor.h"
#include "Kestrowan/editor/ReorderTile.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/TokenLabel.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QDragEnterEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include "NVLXDesign/NVLXMenu.h"

#include <QMenu>
#include <QTimer>
#include <QMimeData>
#include <QPainter>
#include <QVBoxLayout>

namespace {

// "hand.draw" and the hint beside it, in the accent while a drop hovers over the area.
class DragHint final : public QWidget {
public:
    DragHint(qreal spacing, QWidget *parent) : QWidget(parent), m_spacing(spacing)
    {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    void setTargeted(bool targeted)
    {
        m_targeted = targeted;
        updateGeometry();
        update();
    }
    QString text() const
    {
        return localized(m_targeted ? QStringLiteral("editor.dragHintActive") : QStringLiteral("editor.dragHint"));
    }
    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(SystemFont::font(11));
        return QSize(qCeil(11 + m_spacing + metrics.horizontalAdvance(text()) + 2), qCeil(metrics.height() + 2));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor color = m_targeted ? AppColors::accentInk.resolve(this) : AppColors::text3.resolve(this);
        qreal x = 0;
        if (const std::optional<SymbolImage> symbol = SymbolImage::named(QStringLiteral("hand.draw"))) {
            const SymbolImage image = symbol->configured(11, SymbolImage::Weight::Regular, color);
            const QSizeF size = image.size();
            image.render(painter, QRectF(0, (height() - size.height()) / 2, size.width(), size.height()));
            x = size.width() + m_spacing;
        }
        painter.setFont(SystemFont::font(11));
        painter.setPen(color);
        painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }

private:
    qreal m_spacing;
    bool m_targeted = false;
};

// The three overlapping tiles above the empty state's title: a document, the group, a folder.
class EmptyStateArt final : public QWidget {
public:
    explicit EmptyStateArt(QWidget *parent) : QWidget(parent) { setFixedSize(132, 64); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal left = (width() - (40 + 52 + 40 - 12)) / 2.0;
        const qreal middle = height() / 2.0 - 1;
        drawTile(painter, QRectF(left, middle - 20, 40, 40), 10, AppColors::success, QStringLiteral("doc.text"), 21,
                 AppColors::shadowMd.resolve(this), 3);
        drawTile(painter, QRectF(left + 40 + 52 - 12, middle - 20, 40, 40), 10, AppColors::warning, QStringLiteral("folder"), 21,
                 AppColors::shadowMd.resolve(this), 3);
        drawTile(painter, QRectF(left + 40 - 6, middle - 26, 52, 52), 14, AppColors::accent, QStringLiteral("square.grid.2x2"), 24,
                 AppColors::accent.resolve(this, 0.3), 6);
    }

private:
    void drawTile(QPainter &painter, const QRectF &rect, qreal radius, const DynamicColor &fill, const QString &symbolName, qreal symbolSize,
                  QColor shadow, qreal blur)
    {
        // A soft shadow: a few widening, fading layers under the tile.
        const int layers = int(blur);
        for (int i = layers; i >= 1; --i) {
            QColor layer = shadow;
            layer.setAlphaF(shadow.alphaF() / layers);
            const qreal grow = i * 0.8;
            painter.fillPath(ContinuousShape::roundedRect(rect.adjusted(-grow, -grow + 1, grow, grow + 1), radius + grow), layer);
        }
        painter.fillPath(ContinuousShape::roundedRect(rect, radius), fill.resolve(this));
        if (const std::optional<SymbolImage> symbol = SymbolImage::named(symbolName)) {
            const SymbolImage image = symbol->configured(symbolSize, SymbolImage::Weight::Regular, Qt::white);
            const QSizeF size = image.size();
            image.render(painter, QRectF(rect.center() - QPointF(size.width() / 2, size.height() / 2), size));
        }
    }
};

QString countText(qsizetype count)
{
    return localizedFormat(QStringLiteral("editor.appCount"), {count});
}

} // namespace

EditorItemSection::EditorItemSection(EditorDraft *draft, EditorItemActions *actions, OpenerRulesEditor *openers, QWidget *parent)
    : QWidget(parent), m_draft(draft), m_actions(actions), m_openers(openers)
{
    setAcceptDrops(true);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(20, 12, 20, 12);
    m_layout->setSpacing(8);

    // Header: title, Done and Cancel while reordering, the count.
    auto *header = new QHBoxLayout;
    header->setSpacing(6);
    header->addWidget(new TokenLabel(localized(QStringLiteral("editor.appList")), AppColors::text3, SystemFont::font(13, QFont::DemiBold)));
    header->addStretch(1);
    m_done = new EditorActionButton(QStringLiteral("checkmark"), localized(QStringLiteral("picker.done")), EditorActionButton::Look::done());
    m_cancel = new EditorActionButton(QString(), localized(QStringLiteral("picker.cancel")), EditorActionButton::Look::cancel());
    header->addWidget(m_done);
    header->addWidget(m_cancel);
    m_count = new TokenLabel(QString(), AppColors::text3, SystemFont::font(11));
    header->addSpacing(4);
    header->addWidget(m_count);
    m_layout->addLayout(header);
    connect(m_done, &QAbstractButton::clicked, actions, &EditorItemActions::finishReorder);
    connect(m_cancel, &QAbstractButton::clicked, actions, &EditorItemActions::cancelReorder);

    // Empty state.
    m_emptyState = new SurfaceFrame([](EffectiveAppearance appearance) {
        return RoundedSurface{12, AppColors::surface.resolve(appearance), AppColors::borderCard.resolve(appearance), 1.5};
    });
    auto *empty = new QVBoxLayout(m_emptyState);
    empty->setContentsMargins(40, 36, 40, 36);
    empty->setSpacing(20);
    empty->addWidget(new EmptyStateArt(m_emptyState), 0, Qt::AlignHCenter);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(4);
    auto *title = new TokenLabel(localized(QStringLiteral("editor.noApps")), AppColors::text1, SystemFont::font(15, QFont::DemiBold));
    title->setAlignment(Qt::AlignHCenter);
    auto *hint = new TokenLabel(localized(QStringLiteral("editor.emptyHint")), AppColors::text3, SystemFont::font(13));
    hint->setAlignment(Qt::AlignHCenter);
    hint->setWordWrap(true);
    texts->addWidget(title);
    texts->addWidget(hint);
    empty->addLayout(texts);
    auto *emptyButtons = new QHBoxLayout;
    emptyButtons->setSpacing(8);
    emptyButtons->addStretch(1);
    m_emptyButtons = makeAddButtons(true, m_emptyState);
    for (EditorActionButton *button : std::as_const(m_emptyButtons))
        emptyButtons->addWidget(button);
    emptyButtons->addStretch(1);
    empty->addLayout(emptyButtons);
    auto *emptyHint = new DragHint(6, m_emptyState);
    m_dragHints.append(emptyHint);
    empty->addSpacing(2 - 20 + 20);
    empty->addWidget(emptyHint, 0, Qt::AlignHCenter);
    m_layout->addWidget(m_emptyState);

    // The grid.
    m_grid = new SurfaceFrame([this](EffectiveAppearance appearance) {
        return RoundedSurface{14, m_targeted ? AppColors::accent.resolve(appearance, 0.2) : AppColors::bgHover.resolve(appearance),
                              AppColors::border.resolve(appearance), 0.8};
    });
    m_gridLayout = new QGridLayout(m_grid);
    m_gridLayout->setContentsMargins(16, 16, 16, 16);
    m_gridLayout->setSpacing(10);
    m_layout->addWidget(m_grid);

    // The grid of the reorder mode.
    m_reorderGrid = new SurfaceFrame([](EffectiveAppearance appearance) {
        return RoundedSurface{14, AppColors::accent.resolve(appearance, 0.05), AppColors::accent.resolve(appearance, 0.3), 1.5};
    });
    m_reorderLayout = new QGridLayout(m_reorderGrid);
    m_reorderLayout->setContentsMargins(16, 16, 16, 16);
    m_reorderLayout->setSpacing(10);
    m_layout->addWidget(m_reorderGrid);
    for (QGridLayout *grid : {m_gridLayout, m_reorderLayout}) {
        for (int column = 0; column < columns; ++column) {
            grid->setColumnStretch(column, 1);
            grid->setColumnMinimumWidth(column, 10);
        }
    }

    // The add bar.
    m_addBar = new SurfaceFrame([](EffectiveAppearance appearance) {
        return RoundedSurface{12, AppColors::surface.resolve(appearance), AppColors::borderCard.resolve(appearance), 1.0};
    });
    auto *bar = new QVBoxLayout(m_addBar);
    bar->setContentsMargins(14, 10, 14, 10);
    bar->setSpacing(8);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    row->addStretch(1);
    m_barButtons = makeAddButtons(false, m_addBar);
    for (int i = 0; i < m_barButtons.size(); ++i) {
        if (i == 1 || i == 2)
            row->addSpacing(i == 2 ? 6 : 2);
        row->addWidget(m_barButtons[i]);
    }
    row->addStretch(1);
    bar->addLayout(row);
    auto *barHint = new DragHint(6, m_addBar);
    m_dragHints.append(barHint);
    bar->addWidget(barHint, 0, Qt::AlignHCenter);
    m_layout->addWidget(m_addBar);

    connect(draft, &EditorDraft::draftChanged, this, &EditorItemSection::refresh);
    connect(actions, &EditorItemActions::reorderStateChanged, this, &EditorItemSection::refresh);
    if (openers)
        connect(openers, &OpenerRulesEditor::changed, this, &EditorItemSection::refreshOpeners);
    refresh();
}

QList<EditorActionButton *> EditorItemSection::makeAddButtons(bool large, QWidget *parent)
{
    using Look = EditorActionButton::Look;
    const QList<EditorActionButton *> buttons{
        new EditorActionButton(QStringLiteral("dock.rectangle"), localized(QStringLiteral("editor.addDockAppsBtn")),
                               Look::filled(AppColors::info, AppColors::info, large), parent),
        new EditorActionButton(QStringLiteral("square.grid.2x2"), localized(QStringLiteral("editor.addAppsBtn")),
                               Look::filled(AppColors::accent, AppColors::shadowAccent, large), parent),
        new EditorActionButton(QStringLiteral("doc.text"), localized(QStringLiteral("editor.addFilesBtn")), Look::outlined(large), parent),
        new EditorActionButton(QStringLiteral("folder"), localized(QStringLiteral("editor.addFoldersBtn")), Look::outlined(large), parent),
    };
    connect(buttons[0], &QAbstractButton::clicked, this, &EditorItemSection::addDockAppsRequested);
    connect(buttons[1], &QAbstractButton::clicked, this, &EditorItemSection::addAppsRequested);
    connect(buttons[2], &QAbstractButton::clicked, this, &EditorItemSection::addFilesRequested);
    connect(buttons[3], &QAbstractButton::clicked, this, &EditorItemSection::addFoldersRequested);
    return buttons;
}

void EditorItemSection::setOpenerSection(QWidget *section)
{
    m_openerSection = section;
    m_layout->addWidget(section);
    refresh();
}

int EditorItemSection::indexOf(const QUuid &id) const
{
    const QList<AppItem> &apps = m_draft->draft().apps;
    for (int index = 0; index < apps.size(); ++index) {
        if (apps.at(index).id == id)
            return index;
    }
    return -1;
}

bool EditorItemSection::showsEmptyState() const
{
    return m_draft->draft().apps.isEmpty();
}

void EditorItemSection::refresh()
{
    const bool empty = showsEmptyState();
    const bool reordering = m_actions->isReordering();
    m_count->setText(countText(m_draft->draft().apps.size()));
    m_done->setVisible(reordering);
    m_cancel->setVisible(reordering);
    m_emptyState->setVisible(empty);
    m_grid->setVisible(!empty && !reordering);
    m_reorderGrid->setVisible(!empty && reordering);
    m_addBar->setVisible(!empty && !reordering);
    if (m_openerSection)
        m_openerSection->setVisible(!empty && !reordering && (!m_openers || m_openers->isSectionVisible()));
    if (!empty && !reordering)
        rebuildGrid();
    if (!empty && reordering)
        rebuildTiles();
    refreshReorderState();
}

void EditorItemSection::rebuildGrid()
{
    const QList<AppItem> &apps = m_draft->draft().apps;
    if (apps == m_shownApps) {
        refreshOpeners();
        return;
    }
    m_shownApps = apps;
    // A cell whose item is still there as it was stays (with its thumbnail and opener); only items
    // new or changed get a cell made, so a change costs work for the items it touches.
    QHash<QUuid, EditorItemCell *> kept;
    kept.reserve(m_cells.size());
    for (EditorItemCell *cell : std::as_const(m_cells))
        kept.insert(cell->item().id, cell);
    while (QLayoutItem *entry = m_gridLayout->takeAt(0))
        delete entry;
    m_cells.clear();
    for (int i = 0; i < apps.size(); ++i) {
        const AppItem &item = apps.at(i);
        EditorItemCell *cell = kept.value(item.id);
        if (cell && cell->item() == item) {
            kept.remove(item.id);
        } else {
            cell = makeCell(item);
            m_cellsWithoutOpener.insert(cell);
        }
        m_gridLayout->addWidget(cell, i / columns, i % columns, Qt::AlignCenter);
        m_cells.append(cell);
    }
    for (EditorItemCell *stale : std::as_const(kept)) {
        m_cellsWithoutOpener.remove(stale);
        delete stale;
    }
    refreshOpeners();
}

EditorItemCell *EditorItemSection::makeCell(const AppItem &item)
{
    const bool hasBadge = item.itemKind() != AppItem::Kind::App;
    auto *cell = new EditorItemCell(item, hasBadge, m_grid);
    const QUuid id = item.id;
    connect(cell, &EditorItemCell::removeClicked, this, [this, cell] { m_actions->confirmRemoveApp(cell->item()); });
    connect(cell, &EditorItemCell::openerClicked, this, [this, cell] {
        if (m_openers)
            m_openers->beginItemOpenerChoice(cell->item());
    });
    connect(cell, &EditorItemCell::dragStarted, this, [this, cell] { emit itemDragStarted(cell->item()); });
    connect(cell, &EditorItemCell::moveUpRequested, this, [this, id] { m_actions->moveItemUp(indexOf(id)); });
    connect(cell, &EditorItemCell::moveDownRequested, this, [this, id] { m_actions->moveItemDown(indexOf(id)); });
    connect(cell, &EditorItemCell::contextMenuRequested, this, [this, id, cell](const QPoint &globalPos) {
        const int index = indexOf(id);
        if (index < 0)
            return;
        QMenu *menu = makeContextMenu(index, this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        // Once the menu is gone the cell looks where the pointer went.
        connect(menu, &QMenu::aboutToHide, cell, [cell] { QTimer::singleShot(0, cell, &EditorItemCell::followPointer); });
        menu->popup(globalPos);
    });
    return cell;
}

void EditorItemSection::rebuildTiles()
{
    const QList<AppItem> &apps = m_draft->draft().apps;
    if (apps == m_shownTileApps && m_tiles.size() == apps.size())
        return;
    m_shownTileApps = apps;
    // Tiles move with their items, so the one under a drag keeps its widget (and the drag its target).
    QList<ReorderTile *> old = m_tiles;
    m_tiles.clear();
    while (QLayoutItem *entry = m_reorderLayout->takeAt(0))
        delete entry;
    for (int i = 0; i < apps.size(); ++i) {
        const AppItem &item = apps.at(i);
        ReorderTile *tile = nullptr;
        for (ReorderTile *candidate : std::as_const(old)) {
            if (candidate->item().id == item.id) {
                tile = candidate;
                tile->setPlace(item, i);
                old.removeOne(candidate);
                break;
            }
        }
        if (!tile) {
            tile = new ReorderTile(item, i, m_reorderGrid);
            connect(tile, &ReorderTile::dragStarted, this, [this, tile] {
                m_actions->beginTileDrag(tile->item().id);
                emit tileDragStarted(tile->item());
            });
            connect(tile, &ReorderTile::dragEntered, this, [this, tile] { m_actions->dropEntered(tile->item().id); });
            connect(tile, &ReorderTile::dropped, m_actions, &EditorItemActions::performDrop);
        }
        m_reorderLayout->addWidget(tile, i / columns, i % columns, Qt::AlignCenter);
        m_tiles.append(tile);
    }
    for (ReorderTile *stale : std::as_const(old)) {
        stale->hide();
        stale->deleteLater();
    }
}

void EditorItemSection::refreshOpeners()
{
    if (!m_openers)
        return;
    // Looking the openers up asks the system for each document's application: only when the items
    // or the group's opener settings changed, not for every keystroke in the name.
    AppGroup openerSettings;
    openerSettings.customOpenerPath = m_draft->draft().customOpenerPath;
    openerSettings.openerRules = m_draft->draft().openerRules;
    // New settings concern every cell; new items only their own.
    const bool settingsChanged = !m_openersShownFor || *m_openersShownFor != openerSettings;
    if (!settingsChanged && m_cellsWithoutOpener.isEmpty())
        return;
    m_openersShownFor = openerSettings;
    for (EditorItemCell *cell : std::as_const(m_cells)) {
        if (!cell->isApplicationCell() && (settingsChanged || m_cellsWithoutOpener.contains(cell)))
            cell->setOpener(m_openers->openerIconForItem(cell->item()), m_openers->isCustomOpenerForItem(cell->item()),
                            m_openers->openerApplicationForItem(cell->item()).value_or(QString()));
    }
    m_cellsWithoutOpener.clear();
    if (m_openerSection)
        m_openerSection->setVisible(!showsEmptyState() && !m_actions->isReordering() && m_openers->isSectionVisible());
}

void EditorItemSection::refreshReorderState()
{
    const std::optional<QUuid> dragging = m_actions->reorderDraggingID();
    for (ReorderTile *tile : std::as_const(m_tiles))
        tile->setDragging(dragging && *dragging == tile->item().id);
    if (!m_actions->isReordering())
        m_shownTileApps.clear();
}

QMenu *EditorItemSection::makeContextMenu(int index, QWidget *parent)
{
    auto *menu = new NVLXMenu(parent);
    const QList<AppItem> apps = m_draft->draft().apps;
    if (index < 0 || index >= apps.size())
        return menu;
    const AppItem item = apps.at(index);
    if (index >= 1)
        menu->addAction(localized(QStringLiteral("editor.moveUp")), this, [this, index] { m_actions->moveItem(index, index - 1); });
    if (index < apps.size() - 1)
        menu->addAction(localized(QStringLiteral("editor.moveDown")), this, [this, index] { m_actions->moveItem(index, index + 1); });
    if (m_openers && item.itemKind() != AppItem::Kind::App && m_openers->hasItemRule(item)) {
        menu->addSeparator();
        menu->addAction(localized(QStringLiteral("editor.customOpener.clearItem")), this, [this, item] { m_openers->clearItemOpener(item); });
    }
    menu->addSeparator();
    QAction *remove = menu->addAction(localized(QStringLiteral("editor.removeApp")), this, [this, item] { m_actions->confirmRemoveApp(item); });
    remove->setProperty("destructive", true);
    return menu;
}

void EditorItemSection::setTargeted(bool targeted)
{
    if (m_targeted == targeted)
        return;
    m_targeted = targeted;
    for (QWidget *hint : std::as_const(m_dragHints))
        static_cast<DragHint *>(hint)->setTargeted(targeted);
    m_grid->update();
}

void EditorItemSection::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_actions->canAcceptDrop(event->mimeData()))
        return event->ignore();
    event->acceptProposedAction();
    setTargeted(true);
}

void EditorItemSection::dragMoveEvent(QDragMoveEvent *event)
{
    if (!m_actions->canAcceptDrop(event->mimeData())) {
        setTargeted(false);
        return event->ignore();
    }
    event->acceptProposedAction();
}

void EditorItemSection::dragLeaveEvent(QDragLeaveEvent *event)
{
    setTargeted(false);
    QWidget::dragLeaveEvent(event);
}

void EditorItemSection::dropEvent(QDropEvent *event)
{
    setTargeted(false);
    if (!m_actions->dropMimeData(event->mimeData()))
        return event->ignore();
    event->acceptProposedAction();
}
