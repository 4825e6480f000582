#include "Platform/FloatingPanel.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

// Watches the X server's notes on the program's own windows: one mapped, moved or restacked while
// the panel shows is followed by raising the panel again.
class AboveOwnWindows final : public QObject, public QAbstractNativeEventFilter {
public:
    explicit AboveOwnWindows(QWidget *panel)
        : QObject(panel), m_panel(panel)
    {
        qApp->installNativeEventFilter(this);
    }
    ~AboveOwnWindows() override
    {
        if (qApp)
            qApp->removeNativeEventFilter(this);
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
        if (!coversPanel(window))
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
    bool coversPanel(xcb_window_t window) const
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget == m_panel || widget->internalWinId() != WId(window))
                continue;
            const Qt::WindowType type = widget->windowType();
            return type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen
                && !(widget->windowFlags() & Qt::WindowStaysOnTopHint);
        }
        return false;
    }

    QPointer<QWidget> m_panel;
    bool m_raisePending = false;
};

} // namespace

void FloatingPanel::joinAllDesktops(QWidget *window)
{
    xcb_connection_t *c = qtX11Connection();
    if (!c || !window)
        return;
    const auto id = xcb_window_t(window->winId());
    const uint32_t allDesktops = 0xFFFFFFFF;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, x11Atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL, 32, 1,
                        &allDesktops);
    const xcb_atom_t sticky = x11Atom(c, "_NET_WM_STATE_STICKY");
    const xcb_atom_t above = x11Atom(c, "_NET_WM_STATE_ABOVE");
    const xcb_atom_t states[2] = {sticky, above};
    xcb_change_property(c, XCB_PROP_MODE_APPEND, id, x11Atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 2, states);
    xcb_flush(c);
}

void FloatingPanel::keepAboveOwnWindows(QWidget *panel)
{
    if (panel && qApp)
        new AboveOwnWindows(panel);
}
