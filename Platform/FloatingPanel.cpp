#include "Platform/FloatingPanel.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QEvent>
#include <QList>
#include <QRegion>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

namespace {

// Watches the program's own windows: one raised by the program itself is followed at once by
// raising the panel, and one the X server reports mapped, moved or restacked is followed by raising
// the panel again. The server's notes alone come too late when the program raises a window and then
// keeps its event loop busy (a start-up, a blocking call): until the notes are read, the window just
// raised would cover the panel.
class AboveOwnWindows final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit AboveOwnWindows(QWidget *panel)
        : QObject(panel), m_panel(panel)
    {
        qApp->installNativeEventFilter(this);
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Sent right after the request that raised the window: raising the panel now puts its request
        // after that one, whatever the event loop does next.
        if (event->type() == QEvent::ZOrderChange && watched->isWidgetType() && m_panel && m_panel->isVisible()
            && coversPanel(static_cast<QWidget *>(watched)) && !m_raising) {
            m_raising = true;
            m_panel->raise();
            m_raising = false;
            if (xcb_connection_t *c = qtX11Connection())
                xcb_flush(c);
        }
        return false;
    }
    ~AboveOwnWindows() override
    {
        if (qApp) {
            qApp->removeNativeEventFilter(this);
            qApp->removeEventFilter(this);
        }
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t" || !m_panel || !m_panel->isVisible() || m_raisePending)
            return false;
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        xcb_window_t window = XCB_NONE;
        switch (event->response_type & 0x7f) {
        case XCB_MAP_NOTIFY: window = reinterpret_cast<const xcb_map_notify_event_t *>(event)->window; break;
        case XCB_CONFIGURE_NOTIFY: window = reinterpret_cast<const xcb_configure_notify_event_t *>(event)->window; break;
        default: return false;
        }
        if (!coversPanel(ownWindow(window)))
            return false;
        m_raisePending = true;
        QTimer::singleShot(0, this, [this] {
            m_raisePending = false;
            if (m_panel && m_panel->isVisible())
                m_panel->raise();
        });
        return false;
    }

private:
    // An ordinary window of this program: menus, tool tips and other panels that stay on top are
    // above the panel or beside it by their own right, and would raise it in turn.
    bool coversPanel(const QWidget *widget) const
    {
        if (!widget || widget == m_panel || !widget->isWindow())
            return false;
        const Qt::WindowType type = widget->windowType();
        return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen
            && !(widget->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    static QWidget *ownWindow(xcb_window_t window)
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->internalWinId() == WId(window))
                return widget;
        }
        return nullptr;
    }

    QPointer<QWidget> m_panel;
    bool m_raisePending = false;
    bool m_raising = false;
};

// Cuts the window to its shape at every change of its size.
class ShapeKeeper final : public QObject {
public:
    ShapeKeeper(QWidget *window, std::function<QPainterPath(const QSize &)> shape)
        : QObject(window), m_window(window), m_shape(std::move(shape))
    {
        window->installEventFilter(this);
        cut();
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            cut();
        return false;
    }

private:
    void cut()
    {
        const QPolygon outline = m_shape(m_window->size()).toFillPolygon().toPolygon();
        if (!outline.isEmpty())
            m_window->setMask(QRegion(outline));
    }

    QWidget *m_window;
    std::function<QPainterPath(const QSize &)> m_shape;
};

// The screen number the program's display names (":0.1" is screen 1); the first one otherwise.
int displayScreenNumber()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int dot = display.lastIndexOf('.');
    const int colon = display.lastIndexOf(':');
    bool ok = false;
    const int number = dot > colon ? display.mid(dot + 1).toInt(&ok) : 0;
    return ok ? number : 0;
}

} // namespace

bool FloatingPanel::compositingManagerRunning()
{
    xcb_connection_t *c = qtX11Connection();
    if (!c)
        return true;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(displayScreenNumber());
    const xcb_atom_t selection = x11Atom(c, name.constData());
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool running = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return running;
}

void FloatingPanel::useTranslucencyOrShape(QWidget *window, std::function<QPainterPath(const QSize &size)> shape)
{
    if (!window)
        return;
    if (compositingManagerRunning()) {
        window->setAttribute(Qt::WA_TranslucentBackground);
        return;
    }
    if (shape)
        new ShapeKeeper(window, std::move(shape));
}

void FloatingPanel::joinAllDesktops(QWidget *window)
{
    xcb_connection_t *c = qtX11Connection();
    if (!c || !window)
        return;
    const auto id = xcb_window_t(window->winId());
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, x11Atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    // A window kept between shows comes here on every show: only the states it lacks are added, or
    // the list would grow by two with each show.
    const xcb_atom_t stateProperty = x11Atom(c, "_NET_WM_STATE");
    QList<xcb_atom_t> states;
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, stateProperty, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        states = QList<xcb_atom_t>(atoms, atoms + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    QList<xcb_atom_t> missing;
    for (const char *name : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"}) {
        const xcb_atom_t state = x11Atom(c, name);
        if (!states.contains(state))
            missing.append(state);
    }
    if (!missing.isEmpty())
        xcb_change_property(c, XCB_PROP_MODE_APPEND, id, stateProperty, XCB_ATOM_ATOM, 32, uint32_t(missing.size()),
                            missing.constData());
    xcb_flush(c);
}

void FloatingPanel::keepAboveOwnWindows(QWidget *panel)
{
    if (panel && qApp)
        new AboveOwnWindows(panel);
}
