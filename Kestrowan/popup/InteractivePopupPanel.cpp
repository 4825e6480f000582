#include "Kestrowan/popup/InteractivePopupPanel.h"

#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/popup/PopupStyle.h"
#include "NVLXDesign/ContinuousShape.h"
#include "Platform/FloatingPanel.h"
#include "Platform/KeyboardFocus.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QWindow>

InteractivePopupPanel::InteractivePopupPanel(QWidget *content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint)
    , m_content(content)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    FloatingPanel::useTranslucencyOrShape(this, [](const QSize &size) {
        return ContinuousShape::roundedRect(QRectF(QPointF(0, 0), QSizeF(size)), cornerRadius);
    });
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (content)
        layout->addWidget(content);
    FloatingPanel::keepAboveOwnWindows(this);
}

QWidget *InteractivePopupPanel::replaceContent(QWidget *content)
{
    QWidget *old = m_content;
    if (old == content)
        return nullptr;
    if (old) {
        layout()->removeWidget(old);
        old->hide();
    }
    m_content = content;
    if (content) {
        static_cast<QVBoxLayout *>(layout())->addWidget(content);
        // Into a panel that may be up already, from a show that follows another at once.
        content->show();
    }
    return old;
}

void InteractivePopupPanel::present(const QRect &frame)
{
    // A show that follows another while the panel is up keeps the window the first one took the
    // keyboard from.
    if (QWidget *holder = KeyboardFocus::holder(); holder != this)
        m_keyboardReturnsTo = holder;
    setGeometry(frame);
    winId();
    FloatingPanel::joinAllDesktops(this);
    setWindowOpacity(1.0);
    show();
    // A panel that was up already lays its new content out now, not on a later turn.
    layout()->activate();
    raise();
    KeyboardFocus::take(this);
    // Shown again soon after it was hidden, the window system's focus may still count as the
    // panel's while the program already took its keys away; the window system then reports no
    // change, and the program must take the panel as active itself.
    if (QGuiApplication::focusWindow() == windowHandle() && QApplication::activeWindow() != this)
        QApplication::setActiveWindow(this);
    setFocus(Qt::PopupFocusReason);
}

void InteractivePopupPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // The keyboard goes back to the window of the program it came from, as it does when a panel
    // closes on the other platform; where the user has meanwhile given it to another program (a
    // window manager moves it on a click), it stays there.
    const QPointer<QWidget> previous = m_keyboardReturnsTo;
    m_keyboardReturnsTo = nullptr;
    if (previous && previous != this && previous->isVisible() && !previous->isMinimized() && KeyboardFocus::isUnclaimed())
        KeyboardFocus::take(previous);
}

void InteractivePopupPanel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // The window manager moves it where it can; elsewhere the panel follows the pointer itself.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void InteractivePopupPanel::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragOffset && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - *m_dragOffset);
    QWidget::mouseMoveEvent(event);
}

void InteractivePopupPanel::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

QVariant InteractivePopupPanel::inputMethodQuery(Qt::InputMethodQuery query) const
{
    if (query == Qt::ImEnabled)
        return true;
    if (query == Qt::ImHints)
        return int(Qt::ImhNoPredictiveText);
    return QWidget::inputMethodQuery(query);
}

void InteractivePopupPanel::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    PopupNotifications::center().postMouseExited();
}

void InteractivePopupPanel::paintEvent(QPaintEvent *)
{
    // Opaque and cut to the card's shape (no compositing manager): what the card does not cover
    // while it grows in is the card's own surface, not a grey rectangle around it.
    if (testAttribute(Qt::WA_TranslucentBackground))
        return;
    QPainter painter(this);
    painter.fillRect(rect(), PopupStyle::surfaceRaised(this));
}
