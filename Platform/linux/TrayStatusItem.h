#pragma once

#include "Platform/StatusItem.h"

#include <QPointer>

#include <QMenu>
class QSystemTrayIcon;

// The status item as a system-tray icon. The tray has no notion of a template picture, so the
// picture is tinted for the desktop's light or dark look. A click with either button opens the menu,
// as a menu-bar item does.
class TrayStatusItem final : public StatusItem {
public:
    TrayStatusItem();
    ~TrayStatusItem() override;

    void setTemplateImage(const QImage &image) override;
    void setToolTip(const QString &text) override;
    void setMenu(QMenu *menu) override;
    QMenu *menu() const override { return m_menu; }

    // The template picture in one colour, alpha kept.
    static QImage tinted(const QImage &templateImage, const QColor &colour);

private:
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QPointer<QMenu> m_menu;
};
