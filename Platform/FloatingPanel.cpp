#include "Platform/FloatingPanel.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {

class AboveOwnWindows final : public QObject {
public:
    explicit AboveOwnWindows(QWidget *panel)
        : QObject(panel), m_panel(panel)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Show && event->type() != QEvent::WindowActivate)
            return false;
        auto *window = qobject_cast<QWidget *>(watched);
        if (!window || window == m_panel || !window->isWindow())
            return false;
        const Qt::WindowType type = window->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen)
            return false;
        // After the other window has been mapped and stacked, not before.
        QTimer::singleShot(0, m_panel, [panel = m_panel] {
            if (panel && panel->isVisible())
                panel->raise();
        });
        return false;
    }

private:
    QPointer<QWidget> m_panel;
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
