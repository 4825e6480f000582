#pragma once

#include "Platform/Accessibility.h"

#include <QList>
#include <QMutex>
#include <QRectF>
#include <QString>

#include <optional>

// One tile as Accessibility shows it; the frame is in the top-left-origin global space.
struct AccessibleTile {
    quint64 identifier = 0;
    QString title;
    QString subrole;
    QString path;
    QRectF frame;
};

// The Dock's Accessibility tree as the bar last laid it out. The bar writes it on the main thread;
// the socket thread reads it while the main thread may be waiting for a tap, so every access takes
// the lock and nothing here calls out.
class DockAccessibilityState {
public:
    void setTiles(const QList<AccessibleTile> &tiles, const QRectF &barFrame, bool shown);
    // False when the selection was already this one.
    bool setSelected(std::optional<quint64> tile);
    std::optional<quint64> selected() const;

    // The tile under a point of the bar while it shows; none elsewhere, and never the list.
    std::optional<quint64> tileAt(const QPointF &point) const;
    std::optional<AccessibleTile> tile(quint64 identifier) const;

    AXError attribute(quint64 element, const QString &name, QVariant *value, qint64 processIdentifier) const;

private:
    mutable QMutex m_mutex;
    QList<AccessibleTile> m_tiles;
    QRectF m_barFrame;
    bool m_shown = false;
    std::optional<quint64> m_selected;
};
