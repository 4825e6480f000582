#include "NVLXDesign/PointerCursor.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

void PointerCursorCount::enter()
{
    QMutexLocker locker(&m_lock);
    ++m_count;
    // An override cursor per count: the application's regions and the kit's keep their own
    // bookkeeping, and each takes its pointing hand back when its last region is left.
    if (m_count == 1 && qGuiApp)
        QGuiApplication::setOverrideCursor(Qt::PointingHandCursor);
}

void PointerCursorCount::leave()
{
    QMutexLocker locker(&m_lock);
    if (m_count < 1)
        return;
    --m_count;
    if (m_count == 0 && qGuiApp && QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

int PointerCursorCount::count() const
{
    QMutexLocker locker(&m_lock);
    return m_count;
}

PointerCursorModifier::PointerCursorModifier(QWidget *target, PointerCursorCount &count)
    : QObject(target), m_count(count)
{
    target->installEventFilter(this);
}

PointerCursorModifier::~PointerCursorModifier()
{
    disappeared();
}

void PointerCursorModifier::pointerEntered()
{
    if (!m_enabled || m_hovering)
        return;
    m_count.enter();
    m_hovering = true;
}

void PointerCursorModifier::pointerLeft()
{
    if (!m_enabled)
        return;
    disappeared();
}

void PointerCursorModifier::disappeared()
{
    if (!m_hovering)
        return;
    m_count.leave();
    m_hovering = false;
}

bool PointerCursorModifier::eventFilter(QObject *watched, QEvent *event)
{
    Q_UNUSED(watched);
    switch (event->type()) {
    case QEvent::Enter:
        pointerEntered();
        break;
    case QEvent::Leave:
        pointerLeft();
        break;
    case QEvent::Hide:
        disappeared();
        break;
    default:
        break;
    }
    return false;
}

PointerCursorCount &NVLXDesign::pointerCursorState()
{
    static PointerCursorCount count;
    return count;
}

PointerCursorModifier *NVLXDesign::pointerCursor(QWidget *widget)
{
    return new PointerCursorModifier(widget, pointerCursorState());
}

PointerCursorModifier *NVLXDesign::nvlxInteractive(QWidget *widget)
{
    return pointerCursor(widget);
}
