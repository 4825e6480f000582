#include "Kestrowan/dock/HoverService.h"

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/dock/ShortcutStateStore.h"
#include "Kestrowan/groups/DockService.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/dock/PopupPresenter.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/Screens.h"

#include <QFileInfo>
#include <QPointer>

namespace {

constexpr qreal selectionSearchTolerance = 12;
constexpr qreal hoverTargetSearchTolerance = 10;

} // namespace

HoverService::HoverService(GroupManager *groupManager, PermissionManagerInterface *permissionManager,
                           ShortcutStateStoreInterface *shortcutStateStore,
                           KeyboardShortcutServiceInterface *keyboardShortcutService,
                           std::unique_ptr<PopupPresenter> popupController, QObject *parent)
    : HoverServiceInterface(parent)
    , m_groupManager(groupManager)
    , m_permissionManager(permissionManager)
    , m_popupController(std::move(popupController))
{
    Q_ASSERT(m_popupController);
    // The service keeps neither; the popup reads both.
    m_popupController->setShortcutStateStore(qobject_cast<ShortcutStateStore *>(shortcutStateStore));
    m_popupController->setKeyboardShortcutService(qobject_cast<KeyboardShortcutService *>(keyboardShortcutService));
    m_watchdogTimer.setInterval(watchdogIntervalMilliseconds);
    connect(&m_watchdogTimer, &QTimer::timeout, this, &HoverService::checkDockProcess);
    m_pendingDismissTimer.setSingleShot(true);
    m_pendingDismissTimer.setInterval(int(hoverDismissDelay * 1000));
    connect(&m_pendingDismissTimer, &QTimer::timeout, this, &HoverService::dismissTimerFired);
    m_leaveLookTimer.setSingleShot(true);
    connect(&m_leaveLookTimer, &QTimer::timeout, this, &HoverService::lookForLeave);
    wireComponents();
    // A new Dock is taken in the moment it answers, where the platform says so: the watchdog's
    // tick would leave hovers blind and clicks to the Dock for up to two of its intervals.
    const QPointer<HoverService> self(this);
    Accessibility::shared().watchDockProcess(this, [self] {
        if (self)
            self->checkDockProcess();
    });
}

HoverService::~HoverService()
{
    // The popup may call back while it goes.
    m_popupController->onMouseExited = nullptr;
    m_popupController->onRenameGroup = nullptr;
    m_popupController->ignoresPressAt = nullptr;
}

void HoverService::wireComponents()
{
    const QPointer<HoverService> self(this);
    m_popupController->onRenameGroup = [self](const QUuid &id, const QString &name) {
        if (self)
            self->onPopupRenameGroup(id, name);
    };
    // A press on a group's tile is the click interceptor's: it toggles the popup, and must not also
    // close it as a click outside.
    m_popupController->ignoresPressAt = [self](const QPointF &point) {
        if (!self || self->m_mode == InteractionMode::None || !self->m_eventInterceptor.tapHandle.isRunning())
            return false;
        const std::optional<DockItemInfo> tile =
            DockPositionResolver::dockItemUnderPoint(DockPositionResolver::convertAppKitPointToQuartz(point), 8);
        return tile && self->groupForDockItem(*tile).has_value();
    };
    m_mouseTracker.onHoverDockItem = [self](const DockItemInfo &item) {
        if (self)
            self->handleHoverDockItem(item);
    };
    m_mouseTracker.onLeaveDockItem = [self] {
        if (self)
            self->handleLeaveDockItem();
    };
    m_mouseTracker.isPopupShowing = [self] { return self && self->m_popupController->isShowing(); };
    m_mouseTracker.isMouseInsidePopup = [self] { return self && self->isPointerInsidePopup(); };
    m_mouseTracker.selectedDockItem = [self]() -> std::optional<DockItemInfo> {
        return self ? self->m_dockSelectionObserver.currentSelectionItem : std::nullopt;
    };
    m_eventInterceptor.onClickDockItem = [self](const DockItemInfo &item) {
        if (self)
            self->handleClickDockItem(item);
    };
    m_eventInterceptor.shouldInterceptDockItem = [self](const DockItemInfo &item) {
        return self && self->groupForDockItem(item).has_value();
    };
    m_eventInterceptor.shouldSwallowMouseDownDockItem = [self](const DockItemInfo &item) {
        return self && self->m_mode != InteractionMode::None && self->groupForDockItem(item).has_value();
    };
    // The system switched the click tap off: start everything afresh rather than end silently.
    m_eventInterceptor.onTapDisabled = [self] {
        if (self && self->m_mode != InteractionMode::None)
            self->setMode(self->m_mode);
    };
    m_dockSelectionObserver.onSelectionChanged = [self](const std::optional<DockItemInfo> &item) {
        if (self)
            self->onDockSelectionChanged(item);
    };
}

void HoverService::setStoredMode(InteractionMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    emit modeChanged(mode);
}

void HoverService::setActive(bool active)
{
    if (active == m_isActive)
        return;
    m_isActive = active;
    emit isActiveChanged();
}

QSet<QString> HoverService::trackedPaths() const
{
    return QSet<QString>(m_pathToGroup.keyBegin(), m_pathToGroup.keyEnd());
}

void HoverService::rebuildGroupIndex(bool reuseFolders)
{
    m_pathToGroup.clear();
    m_nameToGroup.clear();
    m_trackedNames.clear();
    m_ambiguousNames.clear();
    if (m_groupManager) {
        const FileStamp groupsFolder = FileStamp::of(m_groupManager->groupsDirectory());
        const QVariant dockTiles = DockService::storedTileList();
        // A folder changed a moment ago could change again without a new stamp: its answers are
        // not taken again until the stamp has settled.
        const bool reuse = reuseFolders && m_foldersInDock && m_foldersInDock->groupsFolder == groupsFolder
            && groupsFolder.settledAt(m_foldersInDock->takenNanoseconds) && m_foldersInDock->dockTiles == dockTiles;
        if (!reuse)
            m_foldersInDock = FoldersInDock{groupsFolder, FileStamp::nowNanoseconds(), dockTiles, {}};
        for (const AppGroup &group : m_groupManager->groups()) {
            const std::optional<std::pair<QString, QString>> folder = folderInDock(group);
            if (!folder)
                continue;
            const auto &[path, folderName] = *folder;
            m_pathToGroup.insert(path, group);
            m_trackedNames.insert(folderName);
            m_trackedNames.insert(group.name);
            registerGroupName(folderName, group);
            registerGroupName(group.name, group);
        }
    }
    for (const QString &name : std::as_const(m_ambiguousNames))
        m_nameToGroup.remove(name);
}

std::optional<std::pair<QString, QString>> HoverService::folderInDock(const AppGroup &group)
{
    const auto known = m_foldersInDock->folders.constFind(group.id);
    if (known != m_foldersInDock->folders.cend())
        return *known;
    std::optional<std::pair<QString, QString>> found;
    const std::optional<QUrl> folder = m_groupManager->findMirrorFolder(group);
    if (folder && DockService::isFolderInDock(*folder)) {
        const QString path = standardizedFilePath(*folder);
        found = std::make_pair(path, QFileInfo(path).fileName());
    }
    m_foldersInDock->folders.insert(group.id, found);
    return found;
}

void HoverService::registerGroupName(const QString &name, const AppGroup &group)
{
    if (name.isEmpty())
        return;
    const auto found = m_nameToGroup.constFind(name);
    if (found != m_nameToGroup.cend() && found->id != group.id)
        m_ambiguousNames.insert(name);
    else
        m_nameToGroup.insert(name, group);
}

std::optional<AppGroup> HoverService::groupForDockItem(const DockItemInfo &item) const
{
    if (item.url) {
        const auto found = m_pathToGroup.constFind(standardizedFilePath(*item.url));
        return found == m_pathToGroup.cend() ? std::nullopt : std::optional<AppGroup>(*found);
    }
    if (m_ambiguousNames.contains(item.title))
        return std::nullopt;
    const auto found = m_nameToGroup.constFind(item.title);
    return found == m_nameToGroup.cend() ? std::nullopt : std::optional<AppGroup>(*found);
}

bool HoverService::prepareTracking(bool reuseFolders)
{
    if (!m_permissionManager || !m_permissionManager->isAccessibilityGranted()) {
        stopHoverTracking(false);
        return false;
    }
    rebuildGroupIndex(reuseFolders);
    if (m_trackedNames.isEmpty()) {
        // No group folder stands in the Dock (yet): the watchdog keeps looking.
        stopHoverTracking(false);
        startDockWatchdog();
        return false;
    }
    return true;
}

void HoverService::setMode(InteractionMode mode)
{
    setStoredMode(mode);
    if (prepareTracking())
        startHoverTracking();
}

void HoverService::startHoverTracking()
{
    const QSet<QString> paths = trackedPaths();
    switch (m_mode) {
    case InteractionMode::None:
        stopHoverTracking(true);
        return;
    case InteractionMode::Hover:
        m_mouseTracker.startTracking(m_trackedNames, paths);
        if (m_popupTile && m_popupController->isShowing()) {
            m_mouseTracker.adoptHoveredItem(*m_popupTile);
            // A pointer that left before the watchers started afresh is not seen to move again:
            // where it rests now decides, or the popup would stay up until the next move.
            m_mouseTracker.handleMouseMoved();
        }
        m_dockSelectionObserver.startObservingDockSelection(m_trackedNames);
        m_eventInterceptor.startEventTap(m_trackedNames, paths);
        break;
    case InteractionMode::Click:
        m_mouseTracker.stopTracking();
        m_dockSelectionObserver.stopObservingDockSelection();
        m_eventInterceptor.startEventTap(m_trackedNames, paths);
        break;
    }
    setActive(true);
    startDockWatchdog();
}

void HoverService::stopHoverTracking(bool resetMode)
{
    m_mouseTracker.stopTracking();
    m_dockSelectionObserver.stopObservingDockSelection();
    m_eventInterceptor.tapHandle.stopEventTap();
    m_eventInterceptor.pendingClick.reset();
    m_eventInterceptor.swallowedDown.reset();
    m_popupController->dismissPopup();
    m_popupTile.reset();
    m_pendingDismissTimer.stop();
    m_leaveLookTimer.stop();
    removeMouseExitObserver();
    m_currentPopupGroupID.reset();
    m_popupPresentedAt.reset();
    setActive(false);
    stopDockWatchdog();
    if (resetMode)
        setStoredMode(InteractionMode::None);
}

void HoverService::refreshTracking()
{
    // The groups changed: what the disk and the Dock said is taken again where neither changed.
    if (m_mode == InteractionMode::None || !prepareTracking(true))
        return;
    if (!m_isActive) {
        startHoverTracking();
        return;
    }
    const QSet<QString> paths = trackedPaths();
    m_mouseTracker.trackedNames = m_trackedNames;
    m_mouseTracker.trackedPaths = paths;
    m_dockSelectionObserver.forceRefreshSelection();
    m_eventInterceptor.trackedNames = m_trackedNames;
    m_eventInterceptor.trackedPaths = paths;
}

void HoverService::startDockWatchdog()
{
    const std::optional<qint64> pid = DockPositionResolver::dockProcessID();
    // A re-application for another reason (the screens changed as the old Dock left and the new one
    // took its place) may come before the watchdog's tick: the Dock's change is still worth its line.
    if (pid && m_knownDockPID && *pid != *m_knownDockPID)
        qCInfo(interactionLogger, "Dock process changed, recovering popup tracking");
    if (pid)
        m_knownDockPID = pid;
    m_lastDockPID = pid;
    m_watchdogTimer.start();
}

void HoverService::stopDockWatchdog()
{
    m_watchdogTimer.stop();
    m_lastDockPID.reset();
}

bool HoverService::componentsRunning() const
{
    switch (m_mode) {
    case InteractionMode::Hover:
        return m_mouseTracker.tapHandle.isRunning() && m_dockSelectionObserver.isObserving()
            && m_eventInterceptor.tapHandle.isRunning();
    case InteractionMode::Click:
        return m_eventInterceptor.tapHandle.isRunning();
    case InteractionMode::None:
        break;
    }
    return true;
}

void HoverService::checkDockProcess()
{
    if (m_mode == InteractionMode::None || !m_permissionManager || !m_permissionManager->isAccessibilityGranted())
        return;
    const std::optional<qint64> pid = DockPositionResolver::dockProcessID();
    if (pid == m_lastDockPID) {
        if (m_trackedNames.isEmpty()) {
            rebuildGroupIndex();
            if (m_trackedNames.isEmpty())
                return;
        } else if (m_isActive) {
            if (componentsRunning())
                return;
            // A watcher that could not start (the Dock was not answering yet) gets another try
            // rather than leaving hovers and clicks unhandled until something else re-applies.
            qCWarning(interactionLogger, "Dock watchers are not running, recovering popup tracking");
        }
    } else {
        m_lastDockPID = pid;
        if (pid)
            m_knownDockPID = pid;
        qCInfo(interactionLogger, "Dock process changed, recovering popup tracking");
    }
    setMode(m_mode);
}

// Roads to the popup

bool HoverService::isPointerInsidePopup() const
{
    return m_popupController->isMouseInsidePopup(Screens::shared().mouseLocation());
}

bool HoverService::isPointerOverPanel() const
{
    return m_popupController->isShowing() && m_popupController->frame().contains(Screens::shared().mouseLocation());
}

void HoverService::notePopupTile(const DockItemInfo &tile)
{
    m_popupTile = tile;
    if (m_mode != InteractionMode::Hover)
        return;
    if (!m_mouseTracker.currentHoveredItemKey())
        m_mouseTracker.adoptHoveredItem(tile);
    // While the popup shows the tracker starts no leave, and neither the Dock's selection nor the
    // panel's leave need ever come (the pointer slips off the tile before the Dock selects it, or
    // never enters the panel): a look stays pending for as long as the popup shows.
    if (!m_leaveLookTimer.isActive())
        m_leaveLookTimer.start(std::max(m_popupController->showGraceRemaining(), mouseExitCheckMilliseconds));
}

void HoverService::closePopup()
{
    m_leaveLookTimer.stop();
    m_popupTile.reset();
    removeMouseExitObserver();
    m_popupController->dismissPopup();
    m_mouseTracker.resetHoverState();
    m_currentPopupGroupID.reset();
    m_popupPresentedAt.reset();
}

void HoverService::showPopupForGroup(const AppGroup &group, const QRectF &anchor)
{
    if (m_popupController->isShowing() && m_currentPopupGroupID == group.id) {
        m_pendingDismissTimer.stop();
        if (m_mode == InteractionMode::Hover)
            installMouseExitObserver();
        return;
    }
    m_popupTile.reset();
    // What was pending for the popup this one replaces (a selection that left the Dock, a look
    // after the pointer left the panel) does not close the new one.
    m_pendingDismissTimer.stop();
    m_leaveLookTimer.stop();
    const QPointer<HoverService> self(this);
    m_popupController->showPopup(group, [self](const QUuid &id) {
        if (self && self->onRequestEditGroup)
            self->onRequestEditGroup(id);
    }, anchor);
    m_currentPopupGroupID = group.id;
    m_popupPresentedAt = m_clock();
    if (m_mode == InteractionMode::Hover)
        installMouseExitObserver();
}

void HoverService::handleHoverDockItem(const DockItemInfo &item)
{
    if (const std::optional<AppGroup> group = groupForDockItem(item)) {
        showPopupForGroup(*group, DockPositionResolver::convertQuartzRectToAppKit(item.frame));
        notePopupTile(item);
    }
}

void HoverService::handleLeaveDockItem()
{
    qCDebug(interactionLogger, "The pointer left the group's tile: the popup closes");
    closePopup();
}

void HoverService::onDockSelectionChanged(const std::optional<DockItemInfo> &item)
{
    if (m_mode != InteractionMode::Hover)
        return;
    m_pendingDismissTimer.stop();
    if (item && !groupForDockItem(*item)) {
        qCDebug(interactionLogger, "The Dock selected another tile: the popup closes");
        closePopup();
        return;
    }
    if (const auto target = hoverTargetUnderPointer()) {
        const QPointF q = DockPositionResolver::convertAppKitPointToQuartz(Screens::shared().mouseLocation());
        const std::optional<DockItemInfo> fresh = DockPositionResolver::dockItemUnderPoint(q, selectionSearchTolerance);
        const QRectF frame = fresh ? fresh->frame : target->second.frame;
        showPopupForGroup(target->first, DockPositionResolver::convertQuartzRectToAppKit(frame));
        notePopupTile(target->second);
        // Near a group's tile with the Dock's selection gone, the pointer is just off the tile: the
        // look below tells whether it stays on the tile or by the panel.
        if (item)
            return;
    } else if (item) {
        if (const std::optional<AppGroup> group = groupForDockItem(*item)) {
            showPopupForGroup(*group, DockPositionResolver::convertQuartzRectToAppKit(item->frame));
            notePopupTile(*item);
        }
        return;
    }
    // A popup no Dock tile opened (a hot key's, around the pointer) is not the Dock's to close; over
    // the panel, the panel's own leave tells when the pointer goes. Anywhere else the look after the
    // delay decides, also while the popup is new and counts the pointer as its own wherever it is.
    if (!m_popupTile || (m_popupController->isShowing() && isPointerOverPanel()))
        return;
    m_pendingDismissTimer.start();
}

void HoverService::dismissTimerFired()
{
    lookForLeave();
}

std::optional<std::pair<AppGroup, DockItemInfo>> HoverService::hoverTargetUnderPointer() const
{
    const QPointF q = DockPositionResolver::convertAppKitPointToQuartz(Screens::shared().mouseLocation());
    const auto mapped = [this](const std::optional<DockItemInfo> &item) -> std::optional<std::pair<AppGroup, DockItemInfo>> {
        if (!item)
            return std::nullopt;
        if (const std::optional<AppGroup> group = groupForDockItem(*item))
            return std::make_pair(*group, *item);
        return std::nullopt;
    };
    const std::optional<qint64> pid = DockPositionResolver::dockProcessID();
    const auto elementAtPointer = [&]() -> std::optional<DockItemInfo> {
        Accessibility &accessibility = Accessibility::shared();
        AXUIElement element;
        if (accessibility.copyElementAtPosition(accessibility.createApplication(*pid), q, &element) != AXError::Success)
            return std::nullopt;
        return DockPositionResolver::makeDockItemInfo(element);
    };
    if (pid) {
        if (auto target = mapped(elementAtPointer()))
            return target;
    }
    QList<DockItemInfo> groupTiles;
    for (const DockItemInfo &item : DockPositionResolver::readDockItems()) {
        if (groupForDockItem(item))
            groupTiles.append(item);
    }
    if (auto target = mapped(DockPositionResolver::hitTestDockItem(groupTiles, DockPositionResolver::currentDockPosition(), q)))
        return target;
    if (!pid)
        return std::nullopt;
    std::optional<DockItemInfo> again = elementAtPointer();
    if (!again)
        again = DockPositionResolver::dockItemAtPoint(q, hoverTargetSearchTolerance);
    return mapped(again);
}

void HoverService::installMouseExitObserver()
{
    removeMouseExitObserver();
    m_mouseExitObserverInstalled = true;
    const QPointer<HoverService> self(this);
    m_popupController->onMouseExited = [self] {
        if (self)
            self->mouseExited();
    };
}

void HoverService::removeMouseExitObserver()
{
    if (!m_mouseExitObserverInstalled)
        return;
    m_mouseExitObserverInstalled = false;
    m_popupController->onMouseExited = nullptr;
}

void HoverService::mouseExited()
{
    // The pointer may come back at once (it crossed the panel's edge on its way in): look a moment
    // later.
    m_leaveLookTimer.start(mouseExitCheckMilliseconds);
}

void HoverService::lookForLeave()
{
    if (!m_popupController->isShowing())
        return;
    const auto lookAgain = [this] {
        m_leaveLookTimer.start(std::max(m_popupController->showGraceRemaining(), mouseExitCheckMilliseconds));
    };
    // A popup a hovered tile opened is looked at for as long as it shows: on its tile or over the
    // panel it stays, but no event need come when the pointer goes on from there.
    const bool hoverPopup = m_popupTile && m_mode == InteractionMode::Hover;
    if (m_popupTile) {
        const QPointF q = DockPositionResolver::convertAppKitPointToQuartz(Screens::shared().mouseLocation());
        if (rectContainsPoint(m_popupTile->frame, q)) {
            if (hoverPopup)
                lookAgain();
            return;
        }
    }
    if (!isPointerInsidePopup()) {
        qCDebug(interactionLogger, "The pointer is neither on the tile nor by the panel: the popup closes");
        closePopup();
        return;
    }
    // Over a hot key's panel, its own leave says when the pointer goes. Resting beside it, or
    // anywhere while the popup is new, no event would: look again a moment later.
    if (hoverPopup || !isPointerOverPanel())
        lookAgain();
}

void HoverService::handleClickDockItem(const DockItemInfo &item)
{
    const std::optional<AppGroup> group = groupForDockItem(item);
    if (!group)
        return;
    const QRectF anchor = DockPositionResolver::convertQuartzRectToAppKit(item.frame);
    if (!m_popupController->isShowing()) {
        showPopupForGroup(*group, anchor);
        notePopupTile(item);
        return;
    }
    if (m_mode == InteractionMode::Hover && m_currentPopupGroupID == group->id && m_popupPresentedAt
        && m_popupPresentedAt->msecsTo(m_clock()) <= qint64(hoverSelfClickIgnoreInterval * 1000)) {
        qCDebug(interactionLogger, "Ignored self-click shortly after hover popup opened");
        return;
    }
    const std::optional<QUuid> previous = m_currentPopupGroupID;
    qCDebug(interactionLogger, "A click on a group's tile closes the popup");
    m_popupController->dismissPopup();
    m_popupTile.reset();
    m_mouseTracker.resetHoverState();
    m_currentPopupGroupID.reset();
    m_popupPresentedAt.reset();
    if (previous != group->id) {
        showPopupForGroup(*group, anchor);
        notePopupTile(item);
    }
}

void HoverService::onPopupRenameGroup(const QUuid &groupID, const QString &name)
{
    if (!m_groupManager)
        return;
    for (const AppGroup &group : m_groupManager->groups()) {
        if (group.id == groupID) {
            AppGroup renamed = group;
            renamed.name = name;
            m_groupManager->updateGroup(renamed);
            return;
        }
    }
}

std::unique_ptr<HoverServiceInterface> makeHoverService(GroupManager &groupManager,
                                                        PermissionManagerInterface &permissionManager,
                                                        ShortcutStateStoreInterface &shortcutStateStore,
                                                        KeyboardShortcutServiceInterface &keyboardShortcutService,
                                                        std::unique_ptr<PopupPresenter> popup)
{
    return std::make_unique<HoverService>(&groupManager, &permissionManager, &shortcutStateStore,
                                          &keyboardShortcutService, std::move(popup));
}
