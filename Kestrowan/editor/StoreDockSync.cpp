#include "Kestrowan/editor/DockSyncPort.h"

#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"

#include <QPointer>

namespace {

class StoreDockSync final : public DockSyncPort {
public:
    StoreDockSync(GroupManager *groupManager, SkinManager *skinManager) : m_groupManager(groupManager), m_skinManager(skinManager)
    {
        connect(&DockService::instance(), &DockService::syncBlockDidChange, this, &DockSyncPort::syncBlockChanged);
    }

    bool isSynced(const AppGroup &group) const override { return m_groupManager && m_groupManager->isGroupSyncedToDock(group); }

    bool hasTileInDock(const AppGroup &group) const override
    {
        if (!m_groupManager)
            return false;
        const std::optional<QUrl> folder = m_groupManager->findMirrorFolder(group);
        return folder && DockService::isFolderInDock(*folder);
    }

    void sync(const AppGroup &group, bool refreshLabel, std::function<void(bool)> completion) override
    {
        if (!m_groupManager) {
            QMetaObject::invokeMethod(this, [completion] { completion(false); }, Qt::QueuedConnection);
            return;
        }
        m_groupManager->syncGroupToDock(group, refreshLabel, m_skinManager, std::move(completion));
    }

    bool isSyncBlocked() const override { return DockService::syncBlocked(); }
    void clearSyncBlock() override { DockService::clearSyncBlock(); }

private:
    QPointer<GroupManager> m_groupManager;
    QPointer<SkinManager> m_skinManager;
};

} // namespace

std::unique_ptr<DockSyncPort> makeStoreDockSync(GroupManager *groupManager, SkinManager *skinManager)
{
    return std::make_unique<StoreDockSync>(groupManager, skinManager);
}
