#pragma once

#include "Platform/StatusItem.h"

#include <QAbstractNativeEventFilter>
#include <QPointer>

#include <QMenu>
class QSystemTrayIcon;

// The status item as a system-tray icon. The tray has no notion of a template picture, so the
// picture is tinted for the desktop's light or dark look. A click with either button opens the menu,
// as a menu-bar item does.
class TrayStatusItem final : public StatusItem, public QAbstractNativeEventFilter {
public:
    TrayStatusItem();
    ~TrayStatusItem() override;

    void setTemplateImage(const QImage &image) override;
    void setToolTip(const QString &text) override;
    void setMenu(QMenu *menu) override;
    QMenu *menu() const override { return m_menu; }

    // The template picture for a bar of unknown colour: light, with a thin dark rim, so that it reads
    // on dark and light panels alike.
    static QImage trayPicture(const QImage &templateImage);

    // A tray that appears (a restarted Dock's strip) gets the icon again.
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QPointer<QMenu> m_menu;
    quint32 m_managerAtom = 0;
    quint32 m_selectionAtom = 0;
};
