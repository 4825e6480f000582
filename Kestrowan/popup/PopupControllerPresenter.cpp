#include "Kestrowan/popup/PopupControllerPresenter.h"

#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/dock/ShortcutStateStore.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/popup/PopupScreenGeometry.h"

#include <QPointer>

PopupControllerPresenter::PopupControllerPresenter()
{
    m_controller.onRenameGroup = [this](const QUuid &groupID, const QString &name) {
        if (onRenameGroup)
            onRenameGroup(groupID, name);
    };
    m_controller.ignoresPressAt = [this](const QPoint &globalPosition) {
        return ignoresPressAt && ignoresPressAt(PopupScreenGeometry::toBottomLeftSpace(QPointF(globalPosition)));
    };
    QObject::connect(&PopupNotifications::center(), &PopupNotifications::popupMouseExited, &m_controller, [this] {
        if (onMouseExited)
            onMouseExited();
    });
}

void PopupControllerPresenter::showPopup(const AppGroup &group, std::function<void(const QUuid &)> onEdit,
                                         const QRectF &anchor)
{
    m_controller.showPopup(group, std::move(onEdit), anchor);
}

QRectF PopupControllerPresenter::frame() const
{
    InteractivePopupPanel *panel = m_controller.panel();
    if (!m_controller.isShowing() || !panel)
        return {};
    return PopupScreenGeometry::toBottomLeftSpace(QRectF(panel->frameGeometry()));
}

void PopupControllerPresenter::setShortcutStateStore(ShortcutStateStore *store)
{
    m_controller.setItemStates(store);
}

void PopupControllerPresenter::setKeyboardShortcutService(KeyboardShortcutService *service)
{
    const QPointer<KeyboardShortcutService> shortcuts(service);
    m_controller.setShortcutsSource([shortcuts] { return shortcuts ? shortcuts->shortcuts() : QList<GroupShortcut>(); });
}

std::unique_ptr<PopupPresenter> makePopupPresenter()
{
    return std::make_unique<PopupControllerPresenter>();
}
