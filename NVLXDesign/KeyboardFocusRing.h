#pragma once

#include <QPointer>
#include <QWidget>

class QFocusEvent;

// The ring that shows which control has the keyboard: whenever the focus arrives by the keyboard
// (Tab, Shift+Tab), or at all in a window that asks for it (a question whose answer Return gives),
// a ring in the kit's focus blue is drawn around the control, two points clear of its edge. It is
// one drawing for every control of the program, the kit's and the application's alike, measured
// against what surrounds the control (not the control's own fill, which may be any colour): 3.8:1
// or more on the light surfaces and 5.5:1 or more on the dark ones.
//
// The ring is a widget of its own over the control's nearest clipping parent (a scroll area's
// viewport, else the window), so a control needs no room or code for it; it follows the control
// when it or a parent moves or resizes and goes with the focus, the control or the window's
// activation. A click that moves the focus shows no ring, nor does a focus that moves on by itself
// after a click (the focused control hid, a page changed): only what the keyboard did last counts.
// Focus that the keyboard brings into a scroll area scrolls the control, with its ring, into view.
class KeyboardFocusRing : public QWidget {
    Q_OBJECT
public:
    // Starts watching the application's focus; once per application, further calls do nothing.
    static void install();
    // The window property that shows the ring for every focus change inside it, not only the
    // keyboard's (a question's first answer has the keyboard before any key was pressed).
    static constexpr const char *showsEveryFocusProperty = "keyboardFocusRingForEveryFocus";

    // The ring on screen now, or none; the control it surrounds.
    static KeyboardFocusRing *shown();
    // Whether `widget` is the control the ring surrounds now: controls that show their own focus
    // (an outline, a current row) show it only then.
    static bool showsFocusOf(const QWidget *widget);
    // Whether the last press was a key's rather than the pointer's.
    static bool keyboardInUse();
    QWidget *target() const { return m_target; }

    // The distance from the control's edge to the ring's outer edge, and the ring's width.
    static constexpr int outset = 4;
    static constexpr qreal lineWidth = 2;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit KeyboardFocusRing(QWidget *target, QWidget *host);
    static void focusArrived(QWidget *widget, const QFocusEvent &event);
    static void focusLeft(QWidget *widget, const QFocusEvent &event);
    static QWidget *hostFor(QWidget *target);
    static void scrollIntoView(QWidget *target);
    void follow();
    void watchChain();

    QPointer<QWidget> m_target;
    QList<QPointer<QWidget>> m_chain;
};
