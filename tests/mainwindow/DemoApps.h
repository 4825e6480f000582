#pragma once

#include "Kestrowan/groups/AppItem.h"

#include <QColor>
#include <QList>
#include <QString>

// Applications made up for pictures of the windows: a desktop entry each in the test's home, with a
// drawn icon (a coloured rounded square with one of the program's symbols).
struct DemoApp {
    QString name;
    QString symbol;
    QColor top;
    QColor bottom;
};

const QList<DemoApp> &demoApps();
// Writes the entry and its icon; the item points at the entry.
AppItem installDemoApp(const DemoApp &app);
QList<AppItem> installDemoApps();
