#include "Platform/linux/DockSocketActivation.h"

#include "Platform/KeyboardFocus.h"
#include "Platform/dockstandin/wire/DockWire.h"
#include "Platform/linux/DockSocketArrival.h"
#include "Platform/linux/DockSocketLink.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QWidget>
#include <QApplication>

DockSocketActivation::DockSocketActivation()
    : m_link(std::make_unique<DockSocketLink>())
{
    // A restarted Dock comes back within a moment; it is asked again soon, then once a second.
    m_reconnect.setInterval(100);
    connect(&m_reconnect, &QTimer::timeout, this, &DockSocketActivation::tellDock);
    connect(m_link.get(), &DockSocketLink::messageReceived, this, &DockSocketActivation::dockMessage);
    // A restarted Dock knows nothing of us: keep trying until it answers again.
    connect(m_link.get(), &DockSocketLink::disconnected, this, [this] {
        if (m_policy == Policy::Regular)
            m_reconnect.start(100);
    });
    // Told at once when a new Dock listens, whatever the retries' interval has grown to.
    if (DockSocketArrival *arrival = DockSocketArrival::shared()) {
        connect(arrival, &DockSocketArrival::dockListening, this, [this] {
            if (m_policy == Policy::Regular && !m_link->isConnected())
                tellDock();
        });
    }
}

DockSocketActivation::~DockSocketActivation() = default;

void DockSocketActivation::setActivationPolicy(Policy policy)
{
    m_policy = policy;
    tellDock();
}

void DockSocketActivation::tellDock()
{
    QCborMap message;
    message.insert(QStringLiteral("op"), DockWire::Op::activationPolicy);
    message.insert(QStringLiteral("policy"),
                   m_policy == Policy::Regular ? QStringLiteral("regular") : QStringLiteral("accessory"));
    message.insert(QStringLiteral("name"), QCoreApplication::applicationName());
    const QIcon icon = QGuiApplication::windowIcon();
    if (!icon.isNull()) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        icon.pixmap(128, 128).toImage().save(&buffer, "PNG");
        message.insert(QStringLiteral("icon"), png);
    }
    // Handed over without waiting: a Dock that is stopped takes it when it goes on.
    if (m_link->post(message)) {
        m_reconnect.stop();
        return;
    }
    if (m_policy == Policy::Regular) {
        if (m_reconnect.isActive())
            m_reconnect.setInterval(qMin(m_reconnect.interval() * 2, 1000));
        else
            m_reconnect.start(100);
    }
}

void DockSocketActivation::dockMessage(const QCborMap &message)
{
    if (message.value(QStringLiteral("op")).toString() == DockWire::Op::reopen)
        emit reopenRequested();
}

void DockSocketActivation::activateIgnoringOtherApps()
{
    // Menus, tool tips and the status item's icon (which lives in the tray's window and is only
    // drawn there) are no windows to bring forward, let alone to give the keyboard.
    const auto isOrdinary = [](const QWidget *window) {
        const Qt::WindowType type = window->windowType();
        return type != Qt::Popup && type != Qt::ToolTip && !(window->windowFlags() & Qt::BypassWindowManagerHint);
    };
    QWidget *focus = QApplication::activeWindow();
    if (focus && !isOrdinary(focus))
        focus = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->isMinimized() || !isOrdinary(window))
            continue;
        window->raise();
        // The program's own windows come before its panels.
        if (!focus || (focus->windowType() == Qt::Tool && window->windowType() != Qt::Tool))
            focus = window;
    }
    if (focus) {
        focus->raise();
        KeyboardFocus::take(focus);
    }
}
