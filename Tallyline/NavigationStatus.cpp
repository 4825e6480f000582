#include "Tallyline/NavigationStatus.h"

#include "Tallyline/Tallyline.h"

#include <QEvent>

NavigationStatus &NavigationStatus::shared()
{
    static NavigationStatus status;
    return status;
}

TrackNavigationModifier::TrackNavigationModifier(QObject *view, const QString &path)
    : QObject(view)
    , m_path(path)
{
    view->installEventFilter(this);
}

bool TrackNavigationModifier::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Show)
        Tallyline::navigationPathChanged(m_path);
    return false;
}
