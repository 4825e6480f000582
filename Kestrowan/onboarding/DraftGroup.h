#pragma once

#include <QString>
#include <QStringList>
#include <QUuid>

// A group the first run is drafting: nothing of it is stored until the flow finishes.
struct DraftGroup {
    QUuid id;
    QString name;
    // In the order the user added them; an identifier stands in at most one draft.
    QStringList appBundleIDs;

    friend bool operator==(const DraftGroup &, const DraftGroup &) = default;
};
