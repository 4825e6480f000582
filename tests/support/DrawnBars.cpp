#include "tests/support/DrawnBars.h"

#include <QAbstractButton>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

bool near(const QColor &a, const QColor &b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

QColor shownAt(const QImage &shown, QWidget *widget, const QPoint &point)
{
    const QPointF inWindow = QPointF(widget->mapTo(widget->window(), point)) * shown.devicePixelRatio();
    const QPoint pixel = inWindow.toPoint();
    return shown.rect().contains(pixel) ? shown.pixelColor(pixel) : QColor();
}

} // namespace

QImage shownPixels(QWidget *window)
{
    QWindow *handle = window->windowHandle();
    if (!handle || !handle->screen())
        return {};
    return handle->screen()->grabWindow(window->winId()).toImage();
}

QString barDrawingFault(const QImage &shown, QWidget *bar, const QColor &fill)
{
    if (shown.isNull())
        return QStringLiteral("nothing shown");
    if (!bar->isVisible())
        return QStringLiteral("the bar is hidden");
    const int middle = bar->height() / 2;
    int surface = 0;
    int wrong = 0;
    QColor first;
    for (int x = 12; x < bar->width() - 12; x += 3) {
        const QPoint point(x, middle);
        // A child as large as the bar (an outline drawn over it) covers nothing.
        const QWidget *child = bar->childAt(point);
        if (child && child->size() != bar->size())
            continue;
        ++surface;
        const QColor seen = shownAt(shown, bar, point);
        if (!near(seen, fill)) {
            if (!wrong)
                first = seen;
            ++wrong;
        }
    }
    if (surface == 0)
        return QStringLiteral("no surface between the bar's children");
    if (wrong)
        return QStringLiteral("%1 of %2 points of the surface are not its fill %3 (first %4)")
            .arg(wrong)
            .arg(surface)
            .arg(fill.name(), first.name());
    for (QAbstractButton *button : bar->findChildren<QAbstractButton *>()) {
        if (!button->isVisibleTo(bar))
            continue;
        bool drawn = false;
        for (int x = 2; x < button->width() - 2 && !drawn; ++x)
            drawn = !near(shownAt(shown, button, QPoint(x, button->height() / 2)), fill, 2);
        if (!drawn)
            return QStringLiteral("the button \"%1\" shows only the bar's fill").arg(button->accessibleName().isEmpty() ? button->text() : button->accessibleName());
    }
    return {};
}
