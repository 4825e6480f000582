#include "Platform/linux/TrayStatusItem.h"

#include "Platform/linux/X11Atoms.h"
#include "Platform/linux/X11Connection.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

TrayStatusItem::TrayStatusItem()
    : m_tray(std::make_unique<QSystemTrayIcon>())
{
    QObject::connect(m_tray.get(), &QSystemTrayIcon::activated, m_tray.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
                             return;
                         if (m_menu && !m_menu->isVisible())
                             m_menu->popup(QCursor::pos());
                     });
    if (xcb_connection_t *c = qtX11Connection()) {
        m_managerAtom = x11Atom(c, "MANAGER");
        m_selectionAtom = x11Atom(c, "_NET_SYSTEM_TRAY_S0");
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
}

TrayStatusItem::~TrayStatusItem()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

namespace {

QImage inColour(const QImage &templateImage, const QColor &colour)
{
    QImage image = templateImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    return image;
}

} // namespace

QImage TrayStatusItem::trayPicture(const QImage &templateImage)
{
    // A tray gives an icon its whole square (22 pixels on most panels), where a menu bar keeps a
    // margin around an 18-point picture: draw it at tray size, twice as dense.
    constexpr int side = 44;
    QImage scaled = templateImage.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(1); // drawn pixel for pixel below
    const QImage rim = inColour(scaled, QColor(0, 0, 0, 120));
    const QImage glyph = inColour(scaled, QColor(0xF5, 0xF5, 0xF7));
    QImage picture(side, side, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    for (const QPoint offset : {QPoint(-2, 0), QPoint(2, 0), QPoint(0, -2), QPoint(0, 2)})
        painter.drawImage(offset, rim);
    painter.drawImage(QPoint(0, 0), glyph);
    painter.end();
    return picture;
}

void TrayStatusItem::setTemplateImage(const QImage &image)
{
    const QImage picture = trayPicture(image);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(picture));
    icon.addPixmap(QPixmap::fromImage(picture.scaled(22, 22, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    m_tray->setIcon(icon);
    m_tray->show();
}

bool TrayStatusItem::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !m_managerAtom)
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    if ((event->response_type & ~0x80) != XCB_CLIENT_MESSAGE)
        return false;
    auto *client = reinterpret_cast<xcb_client_message_event_t *>(event);
    if (client->type != m_managerAtom || client->data.data32[1] != m_selectionAtom || !m_tray->isVisible())
        return false;
    // Show again once this event is handled, so that the icon docks into the new tray.
    QMetaObject::invokeMethod(m_tray.get(), [tray = m_tray.get()] {
        tray->hide();
        tray->show();
    }, Qt::QueuedConnection);
    return false;
}

void TrayStatusItem::setToolTip(const QString &text)
{
    m_tray->setToolTip(text);
}

void TrayStatusItem::setMenu(QMenu *menu)
{
    m_menu = menu;
    m_tray->setContextMenu(menu);
}
