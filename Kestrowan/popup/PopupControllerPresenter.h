#pragma once

#include "Kestrowan/dock/PopupPresenter.h"
#include "Kestrowan/popup/ProgramPopup.h"
#include "Kestrowan/popup/PopupWindowController.h"

// The popup window controller as the hover service sees it.
class PopupControllerPresenter final : public PopupPresenter {
public:
    PopupControllerPresenter();

    PopupWindowController &controller() { return m_controller; }

    void showPopup(const AppGroup &group, std::function<void(const QUuid &)> onEdit, const QRectF &anchor) override;
    void dismissPopup() override { m_controller.dismissPopup(); }
    bool isShowing() const override { return m_controller.isShowing(); }
    bool isMouseInsidePopup(const QPointF &point) const override { return m_controller.isMouseInsidePopup(point); }
    int showGraceRemaining() const override { return int(m_controller.showGraceRemaining()); }
    QRectF frame() const override;
    void setShortcutStateStore(ShortcutStateStore *store) override;
    void setKeyboardShortcutService(KeyboardShortcutService *service) override;

private:
    PopupWindowController m_controller;
};
