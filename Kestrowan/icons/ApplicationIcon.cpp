#include "Kestrowan/icons/ApplicationIcon.h"

#include "Platform/DecodedIcons.h"
#include "Platform/Workspace.h"

#include <QIcon>

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

void followArrivals(QObject *view, std::function<void()> redraw)
{
    if (DecodedIcons *icons = DecodedIcons::shared())
        QObject::connect(icons, &DecodedIcons::arrived, view, [redraw = std::move(redraw)] { redraw(); });
}

void followArrival(QObject *view, std::function<std::optional<QString>()> awaited, std::function<void()> redraw)
{
    if (DecodedIcons *icons = DecodedIcons::shared())
        QObject::connect(icons, &DecodedIcons::arrived, view, [awaited = std::move(awaited), redraw = std::move(redraw)](const QString &file) {
            if (awaited() == file)
                redraw();
        });
}

} // namespace ApplicationIcon
