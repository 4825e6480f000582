#pragma once

#include "Kestrowan/dock/DockItemInfo.h"
#include "Platform/Accessibility.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Watches the tile the Dock itself holds as selected, through the list's change notification and a
// poll every 0.08 s, and reports each change once (both sources may see the same change).
class DockSelectionObserver final : public QObject {
    Q_OBJECT
public:
    static constexpr int pollIntervalMilliseconds = 80;

    explicit DockSelectionObserver(QObject *parent = nullptr);
    ~DockSelectionObserver() override;

    std::function<void(const std::optional<DockItemInfo> &)> onSelectionChanged;
    std::optional<DockItemInfo> currentSelectionItem;

    // The names are the owner's group tiles; every selection is reported, group tile or not.
    void startObservingDockSelection(const QSet<QString> &trackedNames);
    void stopObservingDockSelection();
    void refreshSelection(bool force);
    void forceRefreshSelection() { refreshSelection(true); }

    bool isObserving() const { return m_dockListElement.has_value(); }

    static QString selectionSignature(const std::optional<DockItemInfo> &item);

private:
    std::optional<DockItemInfo> readSelectedDockItem() const;
    void notificationArrived();

    std::unique_ptr<AXObserver> m_observer;
    std::optional<AXUIElement> m_dockListElement;
    std::optional<QString> m_lastSignature;
    QTimer m_pollTimer;
};
