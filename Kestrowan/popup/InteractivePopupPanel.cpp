#include "Kestrowan/popup/InteractivePopupPanel.h"

#include "Kestrowan/popup/PopupNotifications.h"
#include "Platform/FloatingPanel.h"

#include <QVBoxLayout>

InteractivePopupPanel::InteractivePopupPanel(QWidget *content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint)
    , m_content(content)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
}

void InteractivePopupPanel::present(const QRect &frame)
{
    setGeometry(frame);
    winId();
    FloatingPanel::joinAllDesktops(this);
    setWindowOpacity(1.0);
    show();
    raise();
    activateWindow();
    setFocus(Qt::PopupFocusReason);
}

void InteractivePopupPanel::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    PopupNotifications::center().postMouseExited();
}
