#pragma once

#include "Kestrowan/mainwindow/StagedPicker.h"

class QAbstractButton;

// The sheet in which the Dock's applications are chosen for one group: those kept in the Dock, then
// the ones running, read afresh each time the sheet is shown.
class DockAppPickerView final : public StagedPicker {
    Q_OBJECT
public:
    // `dockApps` is what the Dock reader gives now, as items.
    DockAppPickerView(const QList<AppItem> &selectedApps, const QList<AppItem> &dockApps, QWidget *parent = nullptr);
    // Reads the Dock itself.
    explicit DockAppPickerView(const QList<AppItem> &selectedApps, QWidget *parent = nullptr);

    const QList<AppItem> &dockApps() const { return m_dockApps; }
    // One per Dock application, in order.
    const QList<QAbstractButton *> &cells() const { return m_cells; }

    void toggleStaged(const AppItem &app) { toggle(app); }

protected:
    void selectionChanged() override;

private:
    QList<AppItem> m_dockApps;
    QList<QAbstractButton *> m_cells;
};
