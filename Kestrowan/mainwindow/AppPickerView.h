#pragma once

#include "Kestrowan/mainwindow/StagedPicker.h"

class AppPickerList;
class InstalledAppsServiceInterface;
class QLineEdit;

// The sheet in which the installed applications are chosen for one group, with a search field
// over the list. While the list is being scanned only the scanning row is shown.
class AppPickerView final : public StagedPicker {
    Q_OBJECT
public:
    AppPickerView(InstalledAppsServiceInterface &appsService, const QList<AppItem> &selectedApps, QWidget *parent = nullptr);

    AppPickerList *list() const { return m_list; }
    QLineEdit *searchField() const { return m_search; }

    void toggleStagedApp(const AppItem &entry) { toggle(entry); }

protected:
    void selectionChanged() override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refreshRows();

    InstalledAppsServiceInterface &m_appsService;
    QLineEdit *m_search;
    AppPickerList *m_list;
};
