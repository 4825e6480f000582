#pragma once

#include <QMutex>
#include <QObject>
#include <QPointer>

class QWidget;

// A process-wide count of hovered regions that want the pointing-hand cursor. The cursor changes only
// when the count moves between 0 and 1, so passing from one region straight into an overlapping or
// adjacent one does not flicker, and the count never drops below 0.
class PointerCursorCount {
public:
    // A region was entered: the pointing hand shows from the first one on.
    void enter();
    // A region was left (or went away): the arrow comes back when the last one is left. A leave
    // without a matching enter changes nothing.
    void leave();
    int count() const;

private:
    mutable QMutex m_lock;
    int m_count = 0;
};

// Counts a widget as hovered while the pointer is over it, and as left when it is hidden or
// destroyed while hovered. Owned by the widget. While disabled it ignores the pointer entering and
// leaving, but hiding still ends its hover.
class PointerCursorModifier : public QObject {
    Q_OBJECT
public:
    PointerCursorModifier(QWidget *target, PointerCursorCount &count);
    ~PointerCursorModifier() override;

    bool hovering() const { return m_hovering; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // The pointer entered or left the widget (what the widget's own events report).
    void pointerEntered();
    void pointerLeft();
    // The widget went off screen.
    void disappeared();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PointerCursorCount &m_count;
    bool m_hovering = false;
    bool m_enabled = true;
};

namespace NVLXDesign {

// The kit's own count, separate from the application's.
PointerCursorCount &pointerCursorState();
// Gives `widget` the kit's pointing hand on hover (two names for the same thing).
PointerCursorModifier *pointerCursor(QWidget *widget);
PointerCursorModifier *nvlxInteractive(QWidget *widget);

} // namespace NVLXDesign
