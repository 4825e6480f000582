#include "Kestrowan/mainwindow/StagedAppSelection.h"

bool StagedAppSelection::isSelected(const QString &bundleIdentifier) const
{
    return std::any_of(m_items.cbegin(), m_items.cend(),
                       [&](const AppItem &item) { return item.bundleIdentifier == bundleIdentifier; });
}

void StagedAppSelection::toggle(const AppItem &entry)
{
    const auto found = std::find_if(m_items.begin(), m_items.end(),
                                    [&](const AppItem &item) { return item.bundleIdentifier == entry.bundleIdentifier; });
    if (found != m_items.end())
        m_items.erase(found);
    else
        m_items.append(entry);
}

QList<AppItem> filterInstalledApps(const QList<AppItem> &apps, const QString &searchText)
{
    if (searchText.isEmpty())
        return apps;
    const QString query = searchText.toLower();
    QList<AppItem> rows;
    for (const AppItem &app : apps) {
        if (app.name.toLower().contains(query) || app.bundleIdentifier.toLower().contains(query))
            rows.append(app);
    }
    return rows;
}
