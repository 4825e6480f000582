#include "NVLXDesign/NVLXList.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/EffectiveAppearance.h"
#include "NVLXDesign/SystemFont.h"

#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace {

class KitRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &given, const QModelIndex &index) const override
    {
        QStyleOptionViewItem option = given;
        initStyleOption(&option, index);
        const QWidget *view = option.widget;
        const EffectiveAppearance appearance = effectiveAppearance(view);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRectF row = QRectF(option.rect).adjusted(2, 1, -2, -1);
        const bool enabled = index.flags().testFlag(Qt::ItemIsEnabled);
        if (enabled && (option.state & QStyle::State_Selected))
            painter->fillPath(ContinuousShape::roundedRect(row, NVLXList::rowRadius), DS::accentSubtle.resolve(appearance));
        else if (enabled && (option.state & QStyle::State_MouseOver))
            painter->fillPath(ContinuousShape::roundedRect(row, NVLXList::rowRadius), DS::hover.resolve(appearance));
        qreal x = row.left() + 8;
        // Rows that can be chosen keep the picture's column even without a picture, so their
        // names line up; titles between them (rows that cannot be chosen) start at the edge.
        const auto *list = qobject_cast<const QAbstractItemView *>(view);
        const QSize icon = option.icon.isNull() && list ? list->iconSize() : option.decorationSize;
        if (!option.icon.isNull())
            option.icon.paint(painter, QRect(int(x), int(row.center().y() - icon.height() / 2.0), icon.width(), icon.height()));
        if (!option.icon.isNull() || (enabled && view && view->property("keepsPictureColumn").toBool()))
            x += icon.width() + 8;
        const QVariant foreground = index.data(Qt::ForegroundRole);
        painter->setPen(foreground.isValid() ? foreground.value<QBrush>().color() : DS::text1.resolve(appearance));
        painter->setFont(option.font);
        const QRectF text(x, row.top(), row.right() - 8 - x, row.height());
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft, option.fontMetrics.elidedText(option.text, Qt::ElideRight, int(text.width())));
        painter->restore();
    }
};

} // namespace

NVLXList::NVLXList(QWidget *parent) : QListWidget(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFont(SystemFont::font(DS::fsSm));
    setMouseTracking(true);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setItemDelegate(new KitRowDelegate(this));
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    makeSlim(verticalScrollBar());
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void NVLXList::changeEvent(QEvent *event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        viewport()->update();
}

void NVLXList::makeSlim(QScrollBar *bar)
{
    // The sheet stays on the bar alone: on the list it would pin the palettes of its rows.
    bar->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 0 2px 2px; }"
        "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 0.45); border-radius: 3px; min-height: 28px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; border: none; background: none; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
}
