#pragma once

#include "Kestrowan/dock/ShortcutStateStoreInterface.h"
#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/dock/PopupItemStates.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>

// Whether an item counts as "active" for the popup: an application while it runs, and any item
// for 30 minutes after it was opened from the popup. The running applications follow the
// workspace's notifications; the opening times are forgotten after the window.
class ShortcutStateStore final : public ShortcutStateStoreInterface, public PopupItemStates {
    Q_OBJECT
public:
    static constexpr double recencyWindow = 1800.0;
    static constexpr int cleanupIntervalMilliseconds = 30000;
    static constexpr int launchRefreshDelayMilliseconds = 400;

    explicit ShortcutStateStore(QObject *parent = nullptr);

    const QSet<QString> &runningBundleIDs() const { return m_runningBundleIDs; }
    const QSet<QString> &runningAppPaths() const { return m_runningAppPaths; }
    const QHash<QString, QDateTime> &recentOpenedAt() const { return m_recentOpenedAt; }

    void markOpened(const AppItem &item) override;
    bool isItemActive(const AppItem &item) const override;
    void refreshRunningApps();
    void pruneRecentItems();
    static QString itemKey(const AppItem &item);

    // Where "now" comes from; tests move it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

signals:
    void runningAppsChanged();
    void recentOpenedAtChanged();

private:
    void installWorkspaceObservers();
    void setRecentOpenedAt(const QHash<QString, QDateTime> &recent);
    QHash<QString, QDateTime> withinWindow(const QDateTime &now) const;

    QSet<QString> m_runningBundleIDs;
    QSet<QString> m_runningAppPaths;
    QHash<QString, QDateTime> m_recentOpenedAt;
    QTimer m_cleanupTimer;
    std::function<QDateTime()> m_clock = [] { return QDateTime::currentDateTimeUtc(); };
};
