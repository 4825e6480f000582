#include "Kestrowan/editor/ReorderTile.h"

#include "Kestrowan/shell/LineBreaking.h"

#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemCell.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/shell/AppColors.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>

namespace {

constexpr qreal kSide = 48;
constexpr qreal kNameWidth = EditorItemCell::nameWidth;
// The picture and two lines of name, as in the cells the tiles stand in for.
constexpr qreal kContentHeight = 90;

QFont nameFont()
{
    return SystemFont::font(11);
}

bool carriesEditorItem(const QMimeData *mime)
{
    return mime && mime->hasFormat(EditorItemActions::dragPayloadType);
}

} // namespace

ReorderTile::ReorderTile(const AppItem &item, int index, QWidget *parent) : QWidget(parent), m_item(item), m_index(index)
{
    setAcceptDrops(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(item.name);
    // Drawn by the tile itself, turned; the view only supplies the picture.
    m_thumbnail = new ItemThumbnail(item, this);
    m_thumbnail->hide();
    m_wiggle.setStartValue(0.0);
    m_wiggle.setEndValue(1.0);
    // There and back, 0.11 s each way, for as long as the tile lives.
    m_wiggle.setDuration(220);
    m_wiggle.setLoopCount(-1);
    connect(&m_wiggle, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    m_wiggle.start();
}

void ReorderTile::setPlace(const AppItem &item, int index)
{
    if (!(item == m_item)) {
        m_item = item;
        m_thumbnail->setApp(item);
        setAccessibleName(item.name);
    }
    m_index = index;
    update();
}

void ReorderTile::setDragging(bool dragging)
{
    if (m_dragging == dragging)
        return;
    m_dragging = dragging;
    update();
}

qreal ReorderTile::currentTurn() const
{
    return (m_index % 2 == 0 ? -1 : 1) * wiggleDegrees * wigglePhase();
}

qreal ReorderTile::wigglePhase() const
{
    const qreal value = m_wiggle.currentValue().toReal();
    static const QEasingCurve ease(QEasingCurve::InOutQuad);
    return ease.valueForProgress(value < 0.5 ? 2 * value : 2 - 2 * value);
}

QSize ReorderTile::sizeHint() const
{
    return QSize(qCeil(kNameWidth + 8), qCeil(kContentHeight + 12));
}

void ReorderTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(m_dragging ? 0.3 : 1.0);
    const QPointF centre = QRectF(rect()).center();
    const qreal turn = currentTurn();
    const qreal shift = (m_index % 2 == 0 ? -wiggleShift : wiggleShift) * wigglePhase();
    painter.translate(centre + QPointF(shift, 0));
    painter.rotate(turn);
    painter.translate(-centre);
    const QFontMetricsF metrics(nameFont());
    const QStringList lines = LineBreaking::elidedLines(nameFont(), m_item.name, kNameWidth);
    const qreal stack = kSide + 4 + 2 * metrics.height();
    const qreal top = 6 + (kContentHeight - stack) / 2;
    const QRectF picture((width() - kSide) / 2, top, kSide, kSide);
    const QImage image = m_thumbnail->currentPicture();
    if (!image.isNull()) {
        painter.save();
        painter.setClipPath(ContinuousShape::roundedRect(picture, 12));
        const QSizeF fitted = QSizeF(image.size()).scaled(picture.size(), Qt::KeepAspectRatioByExpanding);
        painter.drawImage(QRectF(picture.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted), image);
        painter.restore();
    }
    painter.setFont(nameFont());
    painter.setPen(AppColors::text2.resolve(this));
    qreal y = picture.bottom() + 4;
    for (const QString &line : lines) {
        painter.drawText(QRectF((width() - kNameWidth) / 2, y, kNameWidth, metrics.height()), Qt::AlignCenter, line);
        y += metrics.height();
    }
}

void ReorderTile::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPos = event->position().toPoint();
}

void ReorderTile::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressPos && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - *m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_pressPos.reset();
        emit dragStarted();
    }
}

void ReorderTile::dragEnterEvent(QDragEnterEvent *event)
{
    if (!carriesEditorItem(event->mimeData()))
        return event->ignore();
    event->setDropAction(Qt::MoveAction);
    event->accept();
    emit dragEntered();
}

void ReorderTile::dragMoveEvent(QDragMoveEvent *event)
{
    if (!carriesEditorItem(event->mimeData()))
        return event->ignore();
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void ReorderTile::dropEvent(QDropEvent *event)
{
    if (!carriesEditorItem(event->mimeData()))
        return event->ignore();
    event->setDropAction(Qt::MoveAction);
    event->accept();
    emit dropped();
}
