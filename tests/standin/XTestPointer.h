#pragma once

#include <QByteArray>
#include <QPoint>

struct xcb_connection_t;

// Moves and clicks the real pointer of the test's X server through XTest, as a user's hand would.
class XTestPointer {
public:
    // On the test's X server, or on `display` (":2") when given.
    explicit XTestPointer(const QByteArray &display = {});
    ~XTestPointer();

    bool isValid() const { return m_connection != nullptr; }
    void move(const QPoint &position);
    void press(int button = 1);
    void release(int button = 1);
    void click(const QPoint &position, int button = 1);
    // Press at `from`, move in steps to `to`, release there.
    void drag(const QPoint &from, const QPoint &to);

private:
    void fake(quint8 type, quint8 detail, const QPoint &position = {});

    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
};
