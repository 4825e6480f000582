#pragma once

#include "Kestrowan/shell/DetailPage.h"

#include <QObject>

#include <optional>

// The page the main window shows, shared by the window (which keeps its own page in step with it in
// both directions) and the routes that arrive from links, the status menu and the popup.
class AppNavigation final : public QObject {
    Q_OBJECT
public:
    explicit AppNavigation(QObject *parent = nullptr);

    // Absent: the group list.
    std::optional<DetailPage> selectedPage() const { return m_selectedPage; }
    // Notifies only when the page really changes; every assignment is logged, so a repeated route
    // to the page already shown still leaves its trace.
    void setSelectedPage(const std::optional<DetailPage> &page);

    static QString describe(const std::optional<DetailPage> &page);

signals:
    void selectedPageChanged();

private:
    std::optional<DetailPage> m_selectedPage;
};
