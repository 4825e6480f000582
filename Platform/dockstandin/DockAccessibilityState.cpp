#include "Platform/dockstandin/DockAccessibilityState.h"

#include <QMutexLocker>

bool DockAccessibilityState::setTiles(const QList<AccessibleTile> &tiles, const QRectF &barFrame, bool shown)
{
    QMutexLocker lock(&m_mutex);
    return m_tree.setLayout(tiles, barFrame, shown);
}

bool DockAccessibilityState::setSelected(std::optional<quint64> tile)
{
    QMutexLocker lock(&m_mutex);
    return m_tree.setSelected(tile);
}

std::optional<quint64> DockAccessibilityState::selected() const
{
    QMutexLocker lock(&m_mutex);
    return m_tree.selected();
}

std::optional<quint64> DockAccessibilityState::tileAt(const QPointF &point) const
{
    QMutexLocker lock(&m_mutex);
    return m_tree.tileAt(point);
}

std::optional<AccessibleTile> DockAccessibilityState::tile(quint64 identifier) const
{
    QMutexLocker lock(&m_mutex);
    const AccessibleTile *found = m_tree.tile(identifier);
    return found ? std::optional<AccessibleTile>(*found) : std::nullopt;
}

AXError DockAccessibilityState::attribute(quint64 element, const QString &name, QVariant *value, qint64 processIdentifier) const
{
    QMutexLocker lock(&m_mutex);
    return m_tree.attribute(element, name, value, processIdentifier);
}

DockTree DockAccessibilityState::tree() const
{
    QMutexLocker lock(&m_mutex);
    return m_tree;
}
