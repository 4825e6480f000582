#include "Kestrowan/popup/PopupAppIconView.h"

#include "Kestrowan/icons/ApplicationIcon.h"

PopupAppIconView::PopupAppIconView(const AppItem &app, QWidget *parent)
    : PictureView(parent)
    , m_app(app)
{
    ApplicationIcon::followArrivals(this, [this] {
        if (m_pending)
            pictureChanged();
    });
}

void PopupAppIconView::setApp(const AppItem &app)
{
    if (app.path == m_app.path) {
        m_app = app;
        return;
    }
    m_app = app;
    pictureChanged();
}

int PopupAppIconView::iconPixels() const
{
    // At the size the frame has on this screen, so drawing it needs no scaling.
    return qMax(1, qRound(qMax(width(), height()) * devicePixelRatioF()));
}

QImage PopupAppIconView::picture()
{
    const ApplicationIcon::Picture icon = ApplicationIcon::of(m_app, iconPixels());
    m_pending = icon.pending;
    return icon.image;
}
