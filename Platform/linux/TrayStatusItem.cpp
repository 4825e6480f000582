#include "Platform/linux/TrayStatusItem.h"

#include "Platform/SystemAppearance.h"

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
}

TrayStatusItem::~TrayStatusItem() = default;

QImage TrayStatusItem::tinted(const QImage &templateImage, const QColor &colour)
{
    QImage image = templateImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    return image;
}

void TrayStatusItem::setTemplateImage(const QImage &image)
{
    const QColor colour = SystemAppearance::shared().prefersDark() ? QColor(0xF2, 0xF2, 0xF7) : QColor(0x1D, 0x1D, 0x1F);
    m_tray->setIcon(QIcon(QPixmap::fromImage(tinted(image, colour))));
    m_tray->show();
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
