#include "Kestrowan/icons/ApplicationIcon.h"

#include "Platform/DecodedIcons.h"
#include "Platform/Workspace.h"

#include <QHash>
#include <QIcon>
#include <QPointer>

namespace {

struct Waiter {
    QPointer<QObject> view;
    std::function<void()> redraw;
};

// The views waiting for each icon file, on the main thread, and the decoded icons they wait on.
QHash<QString, QList<Waiter>> &waiters()
{
    static QHash<QString, QList<Waiter>> waiting;
    return waiting;
}

QPointer<DecodedIcons> &followedIcons()
{
    static QPointer<DecodedIcons> followed;
    return followed;
}

} // namespace

namespace ApplicationIcon {

Picture of(const AppItem &app, int pixels)
{
    pixels = std::max(1, pixels);
    const QIcon icon = app.itemIcon();
    Picture picture;
    // Asked first, so that a pending picture is reported as what was drawn.
    if (app.itemURL().isLocalFile())
        picture.pendingFile = Workspace::shared().pendingIconFile(app.path, pixels);
    picture.pending = picture.pendingFile.has_value();
    if (!icon.isNull())
        picture.image = icon.pixmap(QSize(pixels, pixels)).toImage();
    return picture;
}

void prefetch(const QList<AppItem> &items, const QList<int> &pixels)
{
    QStringList paths;
    for (const AppItem &item : items) {
        if (item.isApplication() && item.itemURL().isLocalFile())
            paths.append(item.path);
    }
    if (!paths.isEmpty())
        Workspace::shared().prepareIcons(paths, pixels);
}

void followArrivals(QObject *view, std::function<void()> redraw)
{
    if (DecodedIcons *icons = DecodedIcons::shared())
        QObject::connect(icons, &DecodedIcons::arrived, view, [redraw = std::move(redraw)] { redraw(); });
}

void awaitArrival(QObject *view, const QString &file, std::function<void()> redraw)
{
    DecodedIcons *icons = DecodedIcons::shared();
    if (!icons)
        return;
    if (followedIcons() != icons) {
        // What was awaited of icons that are gone never comes.
        waiters().clear();
        followedIcons() = icons;
        QObject::connect(icons, &DecodedIcons::arrived, icons, [](const QString &arrived) {
            const QList<Waiter> due = waiters().take(arrived);
            for (const Waiter &waiter : due) {
                if (waiter.view)
                    waiter.redraw();
            }
        });
    }
    QList<Waiter> &waiting = waiters()[file];
    waiting.removeIf([](const Waiter &waiter) { return waiter.view.isNull(); });
    if (std::none_of(waiting.cbegin(), waiting.cend(), [view](const Waiter &waiter) { return waiter.view == view; }))
        waiting.append(Waiter{view, std::move(redraw)});
}

void redrawOnArrival(QWidget *view, const QString &path, int pixels)
{
    if (const std::optional<QString> file = Workspace::shared().pendingIconFile(path, std::max(1, pixels)))
        awaitArrival(view, *file, [view] { view->update(); });
}

} // namespace ApplicationIcon
