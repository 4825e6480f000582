#pragma once

#include "Kestrowan/app/KestrowanApp.h"
#include "Kestrowan/dock/HoverServiceInterface.h"
#include "Kestrowan/dock/KeyboardShortcutServiceInterface.h"
#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/dock/ShortcutStateStoreInterface.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/mainwindow/InstalledAppsServiceInterface.h"
#include "Kestrowan/shell/AppUpdater.h"

#include <QMap>
#include <QStringList>

// Services that write down what the application asks of them, in one shared journal.
struct ShellJournal {
    QStringList entries;
    QList<QPair<QString, QMap<QString, QString>>> signalsSent;
    QPointF pointer{500, 400};

    int count(const QString &entry) const { return int(entries.count(entry)); }
    int signalCount(const QString &name) const
    {
        int n = 0;
        for (const auto &sent : signalsSent)
            n += sent.first == name;
        return n;
    }
};

class JournalPermissionManager final : public PermissionManagerInterface {
public:
    explicit JournalPermissionManager(ShellJournal &journal)
        : m_journal(journal)
    {
    }
    bool granted = true;
    bool isAccessibilityGranted() const override { return granted; }
    void refreshAccessibilityStatus() override {}
    void requestAccessibility() override { m_journal.entries << QStringLiteral("requestAccessibility"); }
    // What the poll does when the trust changes.
    void change(bool next)
    {
        granted = next;
        emit accessibilityGrantedChanged(next);
        if (onAccessibilityChanged)
            onAccessibilityChanged(next);
    }

private:
    ShellJournal &m_journal;
};

class JournalShortcutService final : public KeyboardShortcutServiceInterface {
public:
    explicit JournalShortcutService(ShellJournal &journal)
        : m_journal(journal)
    {
    }
    QList<GroupShortcut> list;
    GroupManager *manager = nullptr;
    QList<GroupShortcut> shortcuts() const override { return list; }
    void setShortcuts(const QList<GroupShortcut> &shortcuts) override { list = shortcuts; }
    void setGroupManager(GroupManager *groupManager) override
    {
        manager = groupManager;
        m_journal.entries << QStringLiteral("shortcuts.groupManager");
    }
    void reconcileShortcuts(const QList<QUuid> &ids) override
    {
        reconciledWith = ids;
        m_journal.entries << QStringLiteral("shortcuts.reconcile");
    }
    void stopHotKeys() override { m_journal.entries << QStringLiteral("shortcuts.stop"); }
    void installHotKeyHandler() override { m_journal.entries << QStringLiteral("shortcuts.install"); }
    void registerAllHotKeys() override { m_journal.entries << QStringLiteral("shortcuts.register"); }
    QList<QUuid> reconciledWith;

private:
    ShellJournal &m_journal;
};

class JournalHoverService final : public HoverServiceInterface {
public:
    explicit JournalHoverService(ShellJournal &journal)
        : m_journal(journal)
    {
    }
    InteractionMode current = InteractionMode::None;
    QList<InteractionMode> modesSet;
    int stops = 0;
    int refreshes = 0;
    QList<QPair<QUuid, QRectF>> popups;

    InteractionMode mode() const override { return current; }
    void setMode(InteractionMode mode) override
    {
        modesSet.append(mode);
        current = mode;
        m_journal.entries << QStringLiteral("hover.setMode");
    }
    void stopHoverTracking(bool resetMode) override
    {
        ++stops;
        if (resetMode)
            current = InteractionMode::None;
        m_journal.entries << QStringLiteral("hover.stop");
    }
    void refreshTracking() override { ++refreshes; }
    void showPopupForGroup(const AppGroup &group, const QRectF &anchor) override { popups.append({group.id, anchor}); }

private:
    ShellJournal &m_journal;
};

class EmptyAppsService final : public InstalledAppsServiceInterface {
public:
    explicit EmptyAppsService(QString cacheURL)
        : url(std::move(cacheURL))
    {
    }
    QString url;
    QList<AppItem> installedApps() const override { return {}; }
    bool isScanning() const override { return false; }
    QString cacheURL() const override { return url; }
    void refreshInstalledApps() override { ++refreshes; }
    int refreshes = 0;
};

// Factories that make the journal's services and note each creation in order.
inline ServiceFactories journalFactories(ShellJournal &journal)
{
    ServiceFactories f;
    f.groupManager = [&journal] {
        journal.entries << QStringLiteral("GroupManager");
        return std::make_unique<GroupManager>();
    };
    f.appUpdater = [&journal] {
        journal.entries << QStringLiteral("AppUpdater");
        return std::make_unique<AppUpdater>(AppUpdateConfiguration::fromInfoDictionary(
            {{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("2.5")}, {QStringLiteral("CFBundleVersion"), QStringLiteral("77")}}));
    };
    f.appsService = [&journal](const QString &cacheURL) {
        journal.entries << QStringLiteral("InstalledAppsService");
        return std::make_unique<EmptyAppsService>(cacheURL);
    };
    f.permissionManager = [&journal] {
        journal.entries << QStringLiteral("PermissionManager");
        return std::make_unique<JournalPermissionManager>(journal);
    };
    f.skinManager = [&journal] {
        journal.entries << QStringLiteral("SkinManager");
        return std::make_unique<SkinManager>();
    };
    f.shortcutStateStore = [&journal] {
        journal.entries << QStringLiteral("ShortcutStateStore");
        return std::make_unique<ShortcutStateStoreInterface>();
    };
    f.keyboardShortcutService = [&journal] {
        journal.entries << QStringLiteral("KeyboardShortcutService");
        return std::make_unique<JournalShortcutService>(journal);
    };
    f.hoverService = [&journal](GroupManager &, PermissionManagerInterface &, ShortcutStateStoreInterface &,
                                KeyboardShortcutServiceInterface &) {
        journal.entries << QStringLiteral("HoverService");
        return std::make_unique<JournalHoverService>(journal);
    };
    f.configureAnalytics = [&journal] { journal.entries << QStringLiteral("analytics.configure"); };
    f.signal = [&journal](const QString &name, const QMap<QString, QString> &parameters) {
        journal.signalsSent.append({name, parameters});
    };
    f.pointerLocation = [&journal] { return journal.pointer; };
    return f;
}

inline JournalHoverService *journalHover(KestrowanApp &app)
{
    return static_cast<JournalHoverService *>(app.hoverService());
}
inline JournalPermissionManager &journalPermission(KestrowanApp &app)
{
    return static_cast<JournalPermissionManager &>(app.permissionManager());
}
inline JournalShortcutService &journalShortcuts(KestrowanApp &app)
{
    return static_cast<JournalShortcutService &>(app.keyboardShortcutService());
}
