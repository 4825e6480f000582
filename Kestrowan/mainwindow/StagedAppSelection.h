#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QList>
#include <QSet>
#include <QString>

// The working copy of a group's items while an app picker is open. Applications are matched by
// bundle identifier, never by item identifier, so an application the group already holds counts as
// chosen although the listed entry is another item. Items that are not listed (documents, links,
// applications found nowhere) pass through untouched.
class StagedAppSelection {
public:
    explicit StagedAppSelection(QList<AppItem> items = {}) : m_items(std::move(items)) {}

    const QList<AppItem> &items() const { return m_items; }
    qsizetype count() const { return m_items.size(); }
    bool isSelected(const QString &bundleIdentifier) const;

    // Removes the first staged item with the entry's bundle identifier, or appends the entry itself.
    void toggle(const AppItem &entry);

private:
    QList<AppItem> m_items;
};

// The picker's rows for a search text: all entries for an empty text (no trimming), else, in order,
// those whose name or bundle identifier contains the text, ignoring case.
QList<AppItem> filterInstalledApps(const QList<AppItem> &apps, const QString &searchText);
