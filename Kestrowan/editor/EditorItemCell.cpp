#include "Kestrowan/editor/EditorItemCell.h"

#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/shell/LineBreaking.h"

#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/HapticTick.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QPainter>

namespace {

constexpr qreal kTopPadding = 6;
constexpr qreal kSidePadding = 4;
constexpr qreal kSpacing = 4;
constexpr qreal kRemoveSide = 22;
constexpr qreal kBadgeSide = 24;

QFont nameFont()
{
    return SystemFont::font(11);
}

// A button of the cell that ticks once when the pointer comes onto it and redraws as it comes and goes.
class CellCornerButton : public PointerPlainButton {
public:
    explicit CellCornerButton(EditorItemCell *cell) : PointerPlainButton(cell), m_cell(cell) {}

    // Whether the pointer is on the button, read again where no leave came (a menu had the pointer).
    void followPointer(const QPoint &globalPos)
    {
        const bool over = isVisible() && rect().contains(mapFromGlobal(globalPos));
        if (over == m_over)
            return;
        m_over = over;
        update();
    }

protected:
    void enterEvent(QEnterEvent *event) override
    {
        if (!m_over)
            playHapticTick();
        m_over = true;
        update();
        PointerPlainButton::enterEvent(event);
    }
    void leaveEvent(QEvent *event) override
    {
        m_over = false;
        update();
        PointerPlainButton::leaveEvent(event);
    }

    EditorItemCell *m_cell;
    bool m_over = false;
};

// The remove button: a red disc with a white cross, on a faint red halo while the pointer is on it.
// Reached by Tab it shows itself as the pointer would find it, not an empty ring; its name and tip
// say that it takes the item out of the group.
class RemoveButton final : public CellCornerButton {
public:
    using CellCornerButton::CellCornerButton;

protected:
    void focusInEvent(QFocusEvent *event) override
    {
        CellCornerButton::focusInEvent(event);
        update();
    }
    void focusOutEvent(QFocusEvent *event) override
    {
        CellCornerButton::focusOutEvent(event);
        update();
    }
    void paintEvent(QPaintEvent *) override
    {
        if (!m_cell->isHovering() && !hasFocus())
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds(rect());
        if (m_over) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(AppColors::danger.resolve(this, 0.18));
            painter.drawEllipse(bounds);
        }
        const qreal disc = 16 * 0.86;
        const QRectF discRect(bounds.center().x() - disc / 2, bounds.center().y() - disc / 2, disc, disc);
        painter.setPen(Qt::NoPen);
        painter.setBrush(AppColors::danger.resolve(this));
        painter.drawEllipse(discRect);
        painter.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        const qreal arm = disc * 0.2;
        const QPointF c = discRect.center();
        painter.drawLine(c + QPointF(-arm, -arm), c + QPointF(arm, arm));
        painter.drawLine(c + QPointF(-arm, arm), c + QPointF(arm, -arm));
    }
};

// The opener badge: the opening application's icon, or the offer to choose one when none is known.
class OpenerBadge final : public CellCornerButton {
public:
    using CellCornerButton::CellCornerButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPointF centre = QRectF(rect()).center();
        const qreal scale = m_over ? 1.08 : 1.0;
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
        const QRectF icon(centre.x() - 9, centre.y() - 9, 18, 18);
        const QIcon opener = m_cell->openerIcon();
        const qreal strokeWidth = m_over ? 1.5 : 1.0;
        if (!opener.isNull()) {
            if (m_over)
                painter.fillPath(ContinuousShape::roundedRect(QRectF(centre.x() - 12, centre.y() - 12, 24, 24), 6),
                                 AppColors::accentSubtle.resolve(this));
            // A soft shadow under the icon.
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, int(255 * (m_over ? 0.22 : 0.14) / 3)));
            painter.drawPath(ContinuousShape::roundedRect(icon.translated(0, 1).adjusted(-1, -1, 1, 1), 5));
            painter.save();
            painter.setClipPath(ContinuousShape::roundedRect(icon, 4));
            const qreal ratio = devicePixelRatioF();
            painter.drawPixmap(icon, opener.pixmap(QSize(18, 18), ratio), QRectF());
            if (!m_cell->openerApplication().isEmpty())
                ApplicationIcon::redrawOnArrival(this, m_cell->openerApplication(), (QSize(18, 18) * ratio).width());
            painter.restore();
            const bool accent = m_over || m_cell->isCustomOpener();
            painter.setPen(QPen(accent ? AppColors::accent.resolve(this) : AppColors::borderCard.resolve(this), strokeWidth));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(ContinuousShape::roundedRect(icon, 4));
            return;
        }
        painter.fillPath(ContinuousShape::roundedRect(icon, 4),
                         m_over ? AppColors::accentSubtle.resolve(this) : AppColors::bgHover.resolve(this));
        // No application known: the badge offers the choice (an arrow out of an app) rather than
        // a dashed outline, which read as an icon that failed to load.
        const QColor symbolColor = m_over ? AppColors::accent.resolve(this) : AppColors::text3.resolve(this);
        const QString name = m_over ? QStringLiteral("arrow.up.right.app.fill") : QStringLiteral("arrow.up.forward.app");
        if (const std::optional<SymbolImage> symbol = SymbolImage::named(name)) {
            const SymbolImage configured = symbol->configured(14, m_over ? SymbolImage::Weight::Semibold : SymbolImage::Weight::Regular, symbolColor);
            const QSizeF size = configured.size().scaled(icon.size() - QSizeF(4, 4), Qt::KeepAspectRatio);
            configured.render(painter, QRectF(icon.center() - QPointF(size.width() / 2, size.height() / 2), size));
        }
        painter.setPen(QPen(m_over ? AppColors::accent.resolve(this) : AppColors::borderCard.resolve(this), strokeWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(ContinuousShape::roundedRect(icon, 4));
    }
};

// What assistive technology sees of a cell: the item's name, and the actions that move it.
class EditorItemCellAccessible final : public QAccessibleWidget {
public:
    explicit EditorItemCellAccessible(EditorItemCell *cell) : QAccessibleWidget(cell, QAccessible::ListItem) {}

    static QString moveUpName() { return localized(QStringLiteral("ax.moveItemUp")); }
    static QString moveDownName() { return localized(QStringLiteral("ax.moveItemDown")); }

    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << moveUpName() << moveDownName(); }
    void doAction(const QString &actionName) override
    {
        auto *cell = static_cast<EditorItemCell *>(widget());
        if (actionName == moveUpName())
            emit cell->moveUpRequested();
        else if (actionName == moveDownName())
            emit cell->moveDownRequested();
        else
            QAccessibleWidget::doAction(actionName);
    }
};

QAccessibleInterface *cellAccessibility(const QString &className, QObject *object)
{
    if (className == QLatin1String("EditorItemCell") && object && object->isWidgetType())
        return new EditorItemCellAccessible(static_cast<EditorItemCell *>(object));
    return nullptr;
}

} // namespace

EditorItemCell::EditorItemCell(const AppItem &item, bool hasOpenerBadge, QWidget *parent) : QWidget(parent), m_item(item)
{
    static const bool accessibilityInstalled = [] {
        QAccessible::installFactory(cellAccessibility);
        return true;
    }();
    Q_UNUSED(accessibilityInstalled);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(item.name);
    applyPointerCursor(this);
    m_thumbnail = new ItemThumbnail(item, this);
    m_thumbnail->setCornerRadius(hasOpenerBadge ? ItemThumbnailFrame::editorRowRadius : ItemThumbnailFrame::editorCellRadius);
    m_thumbnail->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_remove = new RemoveButton(this);
    const QString removeText = localized(QStringLiteral("ax.removeApp"));
    m_remove->setAccessibleName(QString(removeText).replace(QLatin1String("%@"), item.name));
    m_remove->setToolTip(m_remove->accessibleName());
    connect(m_remove, &QAbstractButton::clicked, this, &EditorItemCell::removeClicked);
    if (hasOpenerBadge) {
        m_badge = new OpenerBadge(this);
        connect(m_badge, &QAbstractButton::clicked, this, &EditorItemCell::openerClicked);
    }
    resize(sizeHint());
}

void EditorItemCell::setOpener(const QIcon &icon, bool isCustomOpener, const QString &application)
{
    m_openerIcon = icon;
    m_openerApplication = application;
    m_isCustomOpener = isCustomOpener;
    if (m_badge)
        m_badge->update();
}

QSize EditorItemCell::sizeHint() const
{
    const QFontMetricsF metrics(nameFont());
    // Room for two lines in every cell, so that the pictures of a row stand on one line.
    return QSize(qCeil(nameWidth + 2 * kSidePadding),
                 qCeil(2 * kTopPadding + thumbnailSide + kSpacing + nameLineCount * metrics.height()));
}

QStringList EditorItemCell::nameLines() const
{
    return LineBreaking::elidedLines(nameFont(), m_item.name, nameWidth, nameLineCount);
}

QRectF EditorItemCell::thumbnailRect() const
{
    return QRectF((width() - thumbnailSide) / 2, kTopPadding, thumbnailSide, thumbnailSide);
}

void EditorItemCell::resizeEvent(QResizeEvent *)
{
    const QRectF picture = thumbnailRect();
    m_thumbnail->setGeometry(picture.toRect());
    m_remove->setGeometry(QRectF(picture.right() - kRemoveSide + 4, picture.top() - 4, kRemoveSide, kRemoveSide).toRect());
    if (m_badge)
        m_badge->setGeometry(QRectF(picture.right() - kBadgeSide + 4, picture.bottom() - kBadgeSide + 4, kBadgeSide, kBadgeSide).toRect());
    m_remove->raise();
}

void EditorItemCell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hovering) {
        const QRectF bounds = QRectF(rect()).adjusted(0.4, 0.4, -0.4, -0.4);
        const QPainterPath shape = ContinuousShape::roundedRect(bounds, 10);
        painter.fillPath(shape, AppColors::pressed.resolve(this));
        painter.setPen(QPen(AppColors::borderStrong.resolve(this), 0.8));
        painter.drawPath(shape);
    }
    const QFontMetricsF metrics(nameFont());
    painter.setFont(nameFont());
    painter.setPen(AppColors::text2.resolve(this));
    qreal y = thumbnailRect().bottom() + kSpacing;
    for (const QString &line : nameLines()) {
        painter.drawText(QRectF((width() - nameWidth) / 2, y, nameWidth, metrics.height()), Qt::AlignHCenter | Qt::AlignVCenter, line);
        y += metrics.height();
    }
}

void EditorItemCell::setHovering(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    update();
    m_remove->update();
}

void EditorItemCell::followPointer()
{
    // A context menu takes the pointer while it is open and no leave reaches the cell when the
    // pointer is elsewhere by the time the menu closes: the highlight is decided by where it is.
    const QPoint globalPos = QCursor::pos(screen());
    setHovering(isVisible() && rect().contains(mapFromGlobal(globalPos)));
    static_cast<CellCornerButton *>(m_remove)->followPointer(globalPos);
    if (m_badge)
        static_cast<CellCornerButton *>(m_badge)->followPointer(globalPos);
}

void EditorItemCell::enterEvent(QEnterEvent *event)
{
    setHovering(true);
    QWidget::enterEvent(event);
}

void EditorItemCell::leaveEvent(QEvent *event)
{
    setHovering(false);
    QWidget::leaveEvent(event);
}

void EditorItemCell::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // A cell moved to a new place (its item moved up or down) leaves a resting pointer, or comes
    // under it, without a leave or an enter: it looks where the pointer is once the grid is laid out.
    if (isVisible())
        QMetaObject::invokeMethod(this, &EditorItemCell::followPointer, Qt::QueuedConnection);
}

void EditorItemCell::hideEvent(QHideEvent *event)
{
    setHovering(false);
    QWidget::hideEvent(event);
}

void EditorItemCell::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_pressPos = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void EditorItemCell::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressPos && (event->buttons() & Qt::LeftButton)
        && (event->position().toPoint() - *m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        m_pressPos.reset();
        emit dragStarted();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void EditorItemCell::mouseReleaseEvent(QMouseEvent *event)
{
    m_pressPos.reset();
    QWidget::mouseReleaseEvent(event);
}

void EditorItemCell::contextMenuEvent(QContextMenuEvent *event)
{
    emit contextMenuRequested(event->globalPos());
}
