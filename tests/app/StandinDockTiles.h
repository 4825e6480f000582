#pragma once

#include "Platform/linux/DockSocketAccessibility.h"

#include <QPoint>
#include <QStringList>

#include <optional>

// The stand-in Dock's tiles as its Accessibility tree shows them to a test.
class StandinDockTiles {
public:
    // Waits for nothing: nullopt while no Dock answers.
    std::optional<qint64> dockProcess() { return m_accessibility.dockProcessIdentifier(); }
    void setDock(qint64 processIdentifier) { m_dock = processIdentifier; }

    // "title (subrole)" of every tile, in the Dock's order.
    QStringList tiles();
    bool hasApplicationTile(const QString &title) { return tiles().contains(title + " (AXApplicationDockItem)"); }
    // The centre of the first tile with that title, in screen coordinates; nullopt when there is none.
    std::optional<QPoint> centreOf(const QString &title);

private:
    QVariant attribute(const AXUIElement &element, const QString &name);
    QList<AXUIElement> tileElements();

    DockSocketAccessibility m_accessibility;
    qint64 m_dock = 0;
};
