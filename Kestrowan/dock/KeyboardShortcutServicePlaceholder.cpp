// Stands in until the hot-key service lands: it keeps the list but registers nothing.
#include "Kestrowan/dock/KeyboardShortcutServiceInterface.h"

namespace {

class ListOnlyShortcutService final : public KeyboardShortcutServiceInterface {
public:
    QList<GroupShortcut> shortcuts() const override { return m_shortcuts; }
    void setShortcuts(const QList<GroupShortcut> &shortcuts) override
    {
        if (shortcuts == m_shortcuts)
            return;
        m_shortcuts = shortcuts;
        emit shortcutsChanged();
    }
    void setGroupManager(GroupManager *) override {}
    void reconcileShortcuts(const QList<QUuid> &groupIDs) override
    {
        QList<GroupShortcut> kept;
        for (const GroupShortcut &shortcut : m_shortcuts) {
            if (groupIDs.contains(shortcut.groupID))
                kept.append(shortcut);
        }
        setShortcuts(kept);
    }
    void stopHotKeys() override {}
    void installHotKeyHandler() override {}
    void registerAllHotKeys() override {}

private:
    QList<GroupShortcut> m_shortcuts;
};

} // namespace

std::unique_ptr<KeyboardShortcutServiceInterface> makeKeyboardShortcutService()
{
    return std::make_unique<ListOnlyShortcutService>();
}
