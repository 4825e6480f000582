#pragma once

#include "Platform/dockstandin/wire/DockTree.h"

#include <QList>
#include <QMutex>
#include <QRectF>
#include <QString>

#include <optional>

// The Dock's Accessibility tree as the bar last laid it out. The bar writes it on the main thread;
// the socket thread reads it while the main thread may be waiting for a tap, so every access takes
// the lock and nothing here calls out.
class DockAccessibilityState {
public:
    // False when the layout was already this one.
    bool setTiles(const QList<AccessibleTile> &tiles, const QRectF &barFrame, bool shown);
    // False when the selection was already this one.
    bool setSelected(std::optional<quint64> tile);
    std::optional<quint64> selected() const;

    // The tile under a point of the bar while it shows; none elsewhere, and never the list.
    std::optional<quint64> tileAt(const QPointF &point) const;
    std::optional<AccessibleTile> tile(quint64 identifier) const;

    AXError attribute(quint64 element, const QString &name, QVariant *value, qint64 processIdentifier) const;

    // The whole tree as it is now, for the clients that keep a copy.
    DockTree tree() const;

private:
    mutable QMutex m_mutex;
    DockTree m_tree;
};
