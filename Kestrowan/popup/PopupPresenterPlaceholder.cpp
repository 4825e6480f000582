// Stands in until the popup window lands: it remembers what it would show and says so in the log,
// so every road to the popup can be followed, but it draws nothing.
#include "Kestrowan/popup/PopupPresenter.h"

#include "Kestrowan/shell/Log.h"

namespace {

class LoggingPopupPresenter final : public PopupPresenter {
public:
    void showPopup(const AppGroup &group, std::function<void(const QUuid &)>, const QRectF &anchor) override
    {
        m_showing = true;
        m_frame = QRectF(anchor.center().x() - 160, anchor.top() + anchor.height() + 8, 320, 240);
        qCInfo(interactionLogger, "Popup for group %s beside %d,%d %dx%d", qPrintable(group.name), int(anchor.x()),
               int(anchor.y()), int(anchor.width()), int(anchor.height()));
    }
    void dismissPopup() override
    {
        if (m_showing)
            qCInfo(interactionLogger, "Popup dismissed");
        m_showing = false;
    }
    bool isShowing() const override { return m_showing; }
    bool isMouseInsidePopup(const QPointF &point) const override { return m_showing && m_frame.contains(point); }
    QRectF frame() const override { return m_showing ? m_frame : QRectF(); }
    void setShortcutStateStore(ShortcutStateStore *) override {}
    void setKeyboardShortcutService(KeyboardShortcutService *) override {}

private:
    bool m_showing = false;
    QRectF m_frame;
};

} // namespace

std::unique_ptr<PopupPresenter> makePopupPresenter()
{
    return std::make_unique<LoggingPopupPresenter>();
}
