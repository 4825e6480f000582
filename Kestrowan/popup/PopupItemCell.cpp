#include "Kestrowan/popup/PopupItemCell.h"

#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/popup/IconAccentColor.h"
#include "Kestrowan/popup/PopupAppIconView.h"
#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "Kestrowan/shell/HapticTick.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/PointerCursorState.h"
#include "Platform/VirtualKeys.h"
#include "Platform/Workspace.h"

#include <QGraphicsOpacityEffect>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QVariantAnimation>

namespace {

QColor mixed(const QColor &from, const QColor &to, qreal t)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * t),
                            float(from.greenF() + (to.greenF() - from.greenF()) * t),
                            float(from.blueF() + (to.blueF() - from.blueF()) * t),
                            float(from.alphaF() + (to.alphaF() - from.alphaF()) * t));
}

} // namespace

namespace {

// Lies over the picture and draws the cell's badges there; the mouse goes through it.
class PictureOverlay : public QWidget {
public:
    explicit PictureOverlay(PopupItemCell *cell, std::function<void(QPainter &)> paint)
        : QWidget(cell), m_paint(std::move(paint))
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        m_paint(painter);
    }

private:
    std::function<void(QPainter &)> m_paint;
};

} // namespace

PopupItemCell::PopupItemCell(PopupCellInputs inputs, QWidget *parent)
    : QAbstractButton(parent)
    , m_inputs(std::move(inputs))
    , m_hoverAnimation(new QVariantAnimation(this))
    , m_thumbnail(m_inputs.app.isApplication()
                      ? static_cast<PictureView *>(new PopupAppIconView(m_inputs.app, this))
                      : new ItemThumbnail(m_inputs.app, this))
    , m_overlay(new PictureOverlay(this, [this](QPainter &painter) { paintOverPicture(painter); }))
{
    m_thumbnail->setAttribute(Qt::WA_TransparentForMouseEvents);
    // The opener's icon is decoded out of the program; the generic symbol shows until it is in.
    ApplicationIcon::followArrivals(this, [this] {
        if (showsOpenerBadge())
            m_overlay->update();
    });

    applyPointerCursor(this);
    setFocusPolicy(Qt::NoFocus);
    // Moves of the pointer over the cell are told, so that the keyboard's highlight can follow it.
    setMouseTracking(true);
    setAccessibleName(m_inputs.app.name);
    setAccessibleDescription(PopupStyle::formatted(QStringLiteral("ax.openApp.hint"), m_inputs.app.name));
    m_hoverAnimation->setDuration(120);
    m_hoverAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_hoverAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_highlight = value.toReal();
        update();
    });
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_inputs.onLaunch)
            m_inputs.onLaunch();
    });
}

void PopupItemCell::bind(PopupCellInputs inputs)
{
    const bool sameItem = inputs.app.id == m_inputs.app.id;
    const bool wasApplication = m_inputs.app.isApplication();
    m_inputs = std::move(inputs);
    if (!sameItem) {
        const bool application = m_inputs.app.isApplication();
        if (application != wasApplication) {
            delete m_thumbnail;
            m_thumbnail = application ? static_cast<PictureView *>(new PopupAppIconView(m_inputs.app, this))
                                      : new ItemThumbnail(m_inputs.app, this);
            m_thumbnail->setAttribute(Qt::WA_TransparentForMouseEvents);
            m_thumbnail->stackUnder(m_overlay);
            m_thumbnail->show();
        } else if (application) {
            static_cast<PopupAppIconView *>(m_thumbnail)->setApp(m_inputs.app);
        } else {
            static_cast<ItemThumbnail *>(m_thumbnail)->setApp(m_inputs.app);
        }
        setAccessibleName(m_inputs.app.name);
        setAccessibleDescription(PopupStyle::formatted(QStringLiteral("ax.openApp.hint"), m_inputs.app.name));
        m_hovering = false;
        m_hoverAnimation->stop();
        m_highlight = 0;
        if (isDown())
            setDown(false);
        syncPressedLook();
    }
    placePicture();
    update();
    m_overlay->update();
}

void PopupItemCell::setHoveringInPlace(bool hovering)
{
    if (m_hovering == hovering)
        return;
    m_hovering = hovering;
    placePicture();
    animateHighlight(hovering ? 1.0 : 0.0);
}

void PopupItemCell::animateHighlight(qreal to)
{
    m_hoverAnimation->stop();
    m_hoverAnimation->setStartValue(m_highlight);
    m_hoverAnimation->setEndValue(to);
    m_hoverAnimation->start();
}

void PopupItemCell::setFocused(bool focused, bool focusElsewhere)
{
    if (m_inputs.isFocused == focused && m_inputs.isFocusElsewhere == focusElsewhere)
        return;
    m_inputs.isFocused = focused;
    m_inputs.isFocusElsewhere = focusElsewhere;
    placePicture();
    update();
}

void PopupItemCell::setShortcutNumber(std::optional<int> number)
{
    if (m_inputs.shortcutNumber == number)
        return;
    m_inputs.shortcutNumber = number;
    update();
    m_overlay->update();
}

void PopupItemCell::syncPressedLook()
{
    // The whole cell, picture and badges included, at 0.85 while pressed, however the press ends.
    const bool dimmed = graphicsEffect() != nullptr;
    if (isDown() == dimmed)
        return;
    if (isDown()) {
        auto *dim = new QGraphicsOpacityEffect(this);
        dim->setOpacity(0.85);
        setGraphicsEffect(dim);
    } else {
        setGraphicsEffect(nullptr);
    }
}

void PopupItemCell::mousePressEvent(QMouseEvent *event)
{
    QAbstractButton::mousePressEvent(event);
    syncPressedLook();
}

void PopupItemCell::mouseMoveEvent(QMouseEvent *event)
{
    QAbstractButton::mouseMoveEvent(event);
    syncPressedLook();
    if (event->buttons() == Qt::NoButton)
        emit pointerMoved(event->globalPosition().toPoint());
}

void PopupItemCell::mouseReleaseEvent(QMouseEvent *event)
{
    QAbstractButton::mouseReleaseEvent(event);
    syncPressedLook();
}

void PopupItemCell::resizeEvent(QResizeEvent *event)
{
    QAbstractButton::resizeEvent(event);
    m_overlay->setGeometry(rect());
    placePicture();
}

QList<int> PopupItemCell::picturePixels() const
{
    // As the picture's view reckons it from the frame placePicture() gives it.
    QList<int> pixels;
    for (const qreal scale : {1.0, highlightScale()}) {
        const QSizeF size = pictureRect().size() * scale;
        const QRect frame = QRectF(QPointF(), size).toRect();
        const int side = qMax(1, qRound(qMax(frame.width(), frame.height()) * devicePixelRatioF()));
        if (!pixels.contains(side))
            pixels.append(side);
    }
    return pixels;
}

void PopupItemCell::placePicture()
{
    const QRectF rest = pictureRect();
    const qreal scale = isHighlighted() ? highlightScale() : 1.0;
    const QSizeF size = rest.size() * scale;
    m_thumbnail->setGeometry(QRectF(rest.center().x() - size.width() / 2, rest.center().y() - size.height() / 2,
                                    size.width(), size.height()).toRect());
    m_thumbnail->setCornerRadius(pictureRadius() * scale);
    m_overlay->update();
}

void PopupItemCell::setOpened(bool opened)
{
    if (m_inputs.isOpened == opened)
        return;
    m_inputs.isOpened = opened;
    update();
}

bool PopupItemCell::showsOpenerBadge() const
{
    return !m_inputs.openerIcon.isNull() && !m_inputs.app.isApplication();
}

QString PopupItemCell::commandBadgeText() const
{
    return m_inputs.shortcutNumber ? KeyNotation::text(VirtualKeys::commandFlag, QString::number(*m_inputs.shortcutNumber))
                                   : QString();
}

QColor PopupItemCell::tintColor() const
{
    // The colour of the picture the cell shows; the stand-in drawn while an icon is decoded is not
    // what the application looks like, and gives no colour to remember.
    if (m_inputs.app.isApplication()) {
        const auto *view = static_cast<const PopupAppIconView *>(m_thumbnail);
        const ApplicationIcon::Picture icon = ApplicationIcon::of(m_inputs.app, view->iconPixels());
        return icon.pending ? systemAccentColor() : iconAccentColor(icon.image, m_inputs.app.bundleIdentifier);
    }
    if (!m_inputs.app.itemURL().isLocalFile())
        return iconAccentColor(m_inputs.app.itemIcon(), m_inputs.app.bundleIdentifier);
    // A document's or a folder's icon as what is kept of its file tells: the main thread looks at
    // none of them. Until the file was looked at, the accent colour stands in, and is not kept.
    const Workspace::KeptIcon icon = Workspace::shared().keptIconForFile(m_inputs.app.path);
    if (icon.pending) {
        auto *self = const_cast<PopupItemCell *>(this);
        ApplicationIcon::awaitArrival(self, m_inputs.app.path, [self] { self->update(); });
        return systemAccentColor();
    }
    return iconAccentColor(icon.icon, m_inputs.app.bundleIdentifier);
}

void PopupItemCell::enterEvent(QEnterEvent *event)
{
    QAbstractButton::enterEvent(event);
    emit pointerMoved(event->globalPosition().toPoint());
    if (m_hovering)
        return;
    playHapticTick();
    m_hovering = true;
    placePicture();
    animateHighlight(1.0);
}

void PopupItemCell::leaveEvent(QEvent *event)
{
    QAbstractButton::leaveEvent(event);
    m_hovering = false;
    placePicture();
    animateHighlight(0.0);
}

void PopupItemCell::paintBackground(QPainter &painter, qreal radius) const
{
    // Focus shows at once; hover eases in and out, and shows nothing while another cell is focused.
    const qreal highlight = m_inputs.isFocused ? 1.0 : m_inputs.isFocusElsewhere ? 0.0 : m_highlight;
    QColor tint = highlight > 0 ? tintColor() : QColor();
    if (tint.isValid())
        tint.setAlphaF(0.22f);
    const QColor fill = highlight > 0 ? mixed(PopupStyle::surfaceTint(this), tint, highlight) : PopupStyle::surfaceTint(this);
    const QColor stroke = mixed(PopupStyle::strokeSubtle(this), PopupStyle::strokeStrong(this), highlight);
    const qreal width = m_inputs.isFocused ? 1.5 : 0.8;
    const auto draw = [&](QPainter &on) {
        QPainterPath shape;
        const QRectF box = QRectF(rect()).adjusted(width / 2, width / 2, -width / 2, -width / 2);
        shape.addRoundedRect(box, radius, radius);
        on.setPen(QPen(stroke, width));
        on.setBrush(fill);
        on.drawPath(shape);
    };
    // While the hover eases in or out every frame has a look of its own: drawn as it is.
    if (highlight > 0 && highlight < 1) {
        draw(painter);
        return;
    }
    // At rest every cell of a popup has one of a few looks. Each is drawn once into a picture and
    // laid down from then on: filling and outlining the rounded shape anew for every cell in every
    // frame of the popup's entrance cost more than all the rest of its cells.
    const qreal ratio = painter.device()->devicePixelRatio();
    const QString key = QStringLiteral("kestrowan.popup.cellBackground:%1x%2@%3:%4:%5:%6:%7")
                            .arg(this->width())
                            .arg(this->height())
                            .arg(ratio)
                            .arg(radius)
                            .arg(width)
                            .arg(fill.rgba(), 0, 16)
                            .arg(stroke.rgba(), 0, 16);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        picture = QPixmap(size() * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        QPainter on(&picture);
        on.setRenderHint(QPainter::Antialiasing);
        draw(on);
        on.end();
        QPixmapCache::insert(key, picture);
    }
    painter.save();
    // Scaled only while the popup grows in.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QPointF(0, 0), picture);
    painter.restore();
}

void PopupItemCell::paintOpenerBadge(QPainter &painter, const QRectF &rect, qreal shadowOpacity, qreal shadowRadius) const
{
    if (!showsOpenerBadge())
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    // A soft shadow one point down.
    for (int step = 1; step <= 2; ++step) {
        QColor shadow(0, 0, 0);
        shadow.setAlphaF(float(shadowOpacity / (step + 1)));
        painter.setBrush(shadow);
        const qreal grow = shadowRadius * step / 2;
        painter.drawRoundedRect(rect.translated(0, 1).adjusted(-grow, -grow, grow, grow), 3 + grow, 3 + grow);
    }
    const qreal dpr = painter.device()->devicePixelRatioF();
    const QPixmap icon = m_inputs.openerIcon.pixmap(rect.size().toSize(), dpr);
    QPainterPath clip;
    clip.addRoundedRect(rect, 3, 3);
    painter.setClipPath(clip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect, icon, QRectF(icon.rect()));
    painter.restore();
}
