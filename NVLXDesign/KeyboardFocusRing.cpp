#include "NVLXDesign/KeyboardFocusRing.h"

#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

namespace {

QPointer<KeyboardFocusRing> &current()
{
    static QPointer<KeyboardFocusRing> ring;
    return ring;
}

// The control whose focus came from the keyboard last: it gets its ring back when its window is
// active again.
QPointer<QWidget> &keyboardFocused()
{
    static QPointer<QWidget> widget;
    return widget;
}

// A key press since the last press of the pointer: set by the watcher before the focus moves.
bool &lastPressWasKey()
{
    static bool key = true;
    return key;
}

bool showsEveryFocus(const QWidget *widget)
{
    return widget->window()->property(KeyboardFocusRing::showsEveryFocusProperty).toBool();
}

class FocusWatcher : public QObject {
public:
    using QObject::QObject;
    std::function<void(QWidget *, const QFocusEvent &)> arrived;
    std::function<void(QWidget *, const QFocusEvent &)> left;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
            lastPressWasKey() = true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            lastPressWasKey() = false;
            break;
        default:
            break;
        }
        if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            const auto &focus = static_cast<const QFocusEvent &>(*event);
            (event->type() == QEvent::FocusIn ? arrived : left)(widget, focus);
        }
        return false;
    }
};

} // namespace

void KeyboardFocusRing::install()
{
    static bool installed = false;
    if (installed || !qApp)
        return;
    installed = true;
    auto *watcher = new FocusWatcher(qApp);
    watcher->arrived = &KeyboardFocusRing::focusArrived;
    watcher->left = &KeyboardFocusRing::focusLeft;
    qApp->installEventFilter(watcher);
}

KeyboardFocusRing *KeyboardFocusRing::shown()
{
    KeyboardFocusRing *ring = current();
    return ring && ring->isVisible() ? ring : nullptr;
}

void KeyboardFocusRing::focusArrived(QWidget *widget, const QFocusEvent &event)
{
    if (widget->isWindow())
        return;
    const Qt::FocusReason reason = event.reason();
    // Qt moves the focus on "by Tab" when the focused control hides: after a click that is the
    // pointer's doing, not the keyboard's.
    const bool byKeyboard = (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
                            && lastPressWasKey();
    const bool back = reason == Qt::ActiveWindowFocusReason && keyboardFocused() == widget;
    if (!byKeyboard && !back && !showsEveryFocus(widget)) {
        keyboardFocused() = nullptr;
        delete current();
        return;
    }
    keyboardFocused() = widget;
    if (byKeyboard)
        scrollIntoView(widget);
    if (current()) {
        if (current()->m_target == widget)
            return;
        delete current();
    }
    current() = new KeyboardFocusRing(widget, hostFor(widget));
}

void KeyboardFocusRing::focusLeft(QWidget *widget, const QFocusEvent &)
{
    if (current() && current()->m_target == widget)
        delete current();
}

bool KeyboardFocusRing::showsFocusOf(const QWidget *widget)
{
    const KeyboardFocusRing *ring = current();
    return ring && widget && ring->m_target == widget;
}

bool KeyboardFocusRing::keyboardInUse()
{
    return lastPressWasKey();
}

namespace {

// The scroll bar's value that shows the span [start, end) in a view `length` long now showing from
// `shown`: moved as little as it takes, centred when the span is longer than the view.
int valueShowing(int start, int end, int shown, int length)
{
    if (end - start > length)
        return (start + end - length) / 2;
    if (start < shown)
        return start;
    if (end > shown + length)
        return end - length;
    return shown;
}

} // namespace

void KeyboardFocusRing::scrollIntoView(QWidget *target)
{
    // The innermost area first, so that each outer one sees where the control now is. The margin
    // keeps the ring whole inside the view (Qt's own ensureWidgetVisible leaves a control that
    // shows, however cut its ring, where it is).
    constexpr int margin = outset + 4;
    for (QWidget *parent = target->parentWidget(); parent; parent = parent->parentWidget()) {
        auto *area = qobject_cast<QScrollArea *>(parent);
        if (area && area->widget() && area->widget()->isAncestorOf(target)) {
            const QWidget *page = area->widget();
            const QRect wanted = QRect(target->mapTo(page, QPoint(0, 0)), target->size()).adjusted(-margin, -margin, margin, margin);
            const QRect shown(-page->pos(), area->viewport()->size());
            QScrollBar *across = area->horizontalScrollBar();
            QScrollBar *down = area->verticalScrollBar();
            across->setValue(valueShowing(wanted.left(), wanted.right() + 1, shown.left(), shown.width()));
            down->setValue(valueShowing(wanted.top(), wanted.bottom() + 1, shown.top(), shown.height()));
        }
        if (parent->isWindow())
            break;
    }
}

QWidget *KeyboardFocusRing::hostFor(QWidget *target)
{
    for (QWidget *parent = target->parentWidget(); parent; parent = parent->parentWidget()) {
        if (parent->isWindow())
            return parent;
        if (auto *area = qobject_cast<QAbstractScrollArea *>(parent->parentWidget()); area && area->viewport() == parent)
            return parent;
    }
    return target->window();
}

KeyboardFocusRing::KeyboardFocusRing(QWidget *target, QWidget *host)
    : QWidget(host)
    , m_target(target)
{
    setObjectName(QStringLiteral("keyboardFocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    // A control that goes takes its ring with it.
    connect(target, &QObject::destroyed, this, &QObject::deleteLater);
    for (QWidget *widget = target; widget && widget != host; widget = widget->parentWidget())
        m_chain << widget;
    watchChain();
    follow();
}

void KeyboardFocusRing::watchChain()
{
    // The control and every parent up to the host: a move of any of them moves the control.
    for (const QPointer<QWidget> &widget : std::as_const(m_chain)) {
        if (widget)
            widget->installEventFilter(this);
    }
}

void KeyboardFocusRing::follow()
{
    if (!m_target || !m_target->isVisible()) {
        hide();
        return;
    }
    const QRect control(m_target->mapTo(parentWidget(), QPoint(0, 0)), m_target->size());
    setGeometry(control.adjusted(-outset, -outset, outset, outset));
    raise();
    show();
    update();
}

bool KeyboardFocusRing::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ZOrderChange:
        // After the change is whole (a raise of a sibling comes as a change of order).
        if (event->type() == QEvent::ZOrderChange && watched != m_target)
            break;
        QMetaObject::invokeMethod(this, &KeyboardFocusRing::follow, Qt::QueuedConnection);
        break;
    case QEvent::ParentChange:
        deleteLater();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void KeyboardFocusRing::paintEvent(QPaintEvent *)
{
    if (!m_target)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(DS::accent2.resolve(this), lineWidth));
    painter.setBrush(Qt::NoBrush);
    // Rounded as controls are: a capsule for a short control, the kit's button corners otherwise,
    // widened by the ring's distance.
    const qreal controlRadius = std::min<qreal>(m_target->height() / 2.0, DS::rBtn);
    const qreal half = lineWidth / 2;
    const QRectF ring = QRectF(rect()).adjusted(half, half, -half, -half);
    painter.drawPath(ContinuousShape::roundedRect(ring, controlRadius + outset - half));
}
