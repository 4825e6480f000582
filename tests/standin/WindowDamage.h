#pragma once

#include <QList>
#include <QRect>

struct xcb_connection_t;

// The repaints of one window as the X server receives them (XDamage, every rectangle as it comes),
// read on a connection of the test's own: what a compositor sees a program draw.
class WindowDamage {
public:
    explicit WindowDamage(quint32 window);
    ~WindowDamage();
    WindowDamage(const WindowDamage &) = delete;
    WindowDamage &operator=(const WindowDamage &) = delete;

    bool isValid() const { return m_damage != 0; }
    // The rectangles repainted since the last call, in the window's coordinates.
    QList<QRect> take();

private:
    xcb_connection_t *m_connection = nullptr;
    quint32 m_damage = 0;
    int m_notifyEvent = -1;
    QList<QRect> m_seen;
};
