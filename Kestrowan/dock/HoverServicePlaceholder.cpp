// Stands in until the hover service lands: it keeps its mode but watches nothing.
#include "Kestrowan/dock/HoverServiceInterface.h"

namespace {

class ModeOnlyHoverService final : public HoverServiceInterface {
public:
    InteractionMode mode() const override { return m_mode; }
    void setMode(InteractionMode mode) override { store(mode); }
    void stopHoverTracking(bool resetMode) override
    {
        if (resetMode)
            store(InteractionMode::None);
    }
    void refreshTracking() override {}
    void showPopupForGroup(const AppGroup &, const QRectF &) override {}

private:
    void store(InteractionMode mode)
    {
        if (mode == m_mode)
            return;
        m_mode = mode;
        emit modeChanged(mode);
    }

    InteractionMode m_mode = InteractionMode::None;
};

} // namespace

std::unique_ptr<HoverServiceInterface> makeHoverService(GroupManager &, PermissionManagerInterface &,
                                                        ShortcutStateStoreInterface &,
                                                        KeyboardShortcutServiceInterface &)
{
    return std::make_unique<ModeOnlyHoverService>();
}
