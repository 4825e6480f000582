#pragma once

#include <QList>
#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

struct xcb_connection_t;

// What the test's X server shows, read on a connection of the test's own.
class X11Windows {
public:
    struct Window {
        quint32 id = 0;
        quint32 parent = 0;
        QString name;
        qint64 pid = 0;
        bool viewable = false;
        bool overrideRedirect = false;
        QRect geometry; // in root coordinates
    };

    // On the test's X server, or on `display` (":2") when given.
    explicit X11Windows(const QByteArray &display = {});
    ~X11Windows();
    bool isValid() const { return m_connection != nullptr; }

    QList<Window> all();
    // The status item of process `pid` in the stand-in Dock's menu-bar strip, when it shows one.
    std::optional<Window> statusItemOf(qint64 pid);
    // The pop-up menu process `pid` shows, when it shows one.
    std::optional<Window> shownMenuOf(qint64 pid);
    // What a window manager's close button sends: WM_DELETE_WINDOW.
    void requestClose(quint32 window);
    // The window that has the keyboard now; 0 when none or unknown.
    quint32 inputFocus();

private:
    void collect(quint32 window, quint32 parent, const QPoint &origin, QList<Window> &out);

    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
};
