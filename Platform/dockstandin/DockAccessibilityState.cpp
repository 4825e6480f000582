#include "Platform/dockstandin/DockAccessibilityState.h"

#include "Platform/dockstandin/wire/DockWire.h"

#include <QMutexLocker>
#include <QSizeF>
#include <QUrl>

void DockAccessibilityState::setTiles(const QList<AccessibleTile> &tiles, const QRectF &barFrame, bool shown)
{
    QMutexLocker lock(&m_mutex);
    m_tiles = tiles;
    m_barFrame = barFrame;
    m_shown = shown;
}

bool DockAccessibilityState::setSelected(std::optional<quint64> tile)
{
    QMutexLocker lock(&m_mutex);
    if (m_selected == tile)
        return false;
    m_selected = tile;
    return true;
}

std::optional<quint64> DockAccessibilityState::selected() const
{
    QMutexLocker lock(&m_mutex);
    return m_selected;
}

std::optional<quint64> DockAccessibilityState::tileAt(const QPointF &point) const
{
    QMutexLocker lock(&m_mutex);
    if (!m_shown)
        return std::nullopt;
    for (const AccessibleTile &tile : m_tiles) {
        if (tile.frame.contains(point))
            return tile.identifier;
    }
    return std::nullopt;
}

std::optional<AccessibleTile> DockAccessibilityState::tile(quint64 identifier) const
{
    QMutexLocker lock(&m_mutex);
    for (const AccessibleTile &tile : m_tiles) {
        if (tile.identifier == identifier)
            return tile;
    }
    return std::nullopt;
}

AXError DockAccessibilityState::attribute(quint64 element, const QString &name, QVariant *value, qint64 processIdentifier) const
{
    QMutexLocker lock(&m_mutex);
    auto elementOf = [processIdentifier](quint64 identifier) { return AXUIElement{processIdentifier, identifier}; };
    QVariant result;
    if (element == DockWire::applicationElement) {
        if (name == QLatin1String("AXRole"))
            result = QStringLiteral("AXApplication");
        else if (name == QLatin1String("AXTitle"))
            result = QStringLiteral("Dock");
        else if (name == QLatin1String("AXChildren"))
            result = QVariant::fromValue(QList<AXUIElement>{elementOf(DockWire::listElement)});
    } else if (element == DockWire::listElement) {
        QList<AXUIElement> children;
        for (const AccessibleTile &tile : std::as_const(m_tiles))
            children.append(elementOf(tile.identifier));
        QList<AXUIElement> selection;
        if (m_selected)
            selection.append(elementOf(*m_selected));
        if (name == QLatin1String("AXRole"))
            result = QStringLiteral("AXList");
        else if (name == QLatin1String("AXChildren"))
            result = QVariant::fromValue(children);
        else if (name == QLatin1String("AXSelectedChildren"))
            result = QVariant::fromValue(selection);
        else if (name == QLatin1String("AXPosition"))
            result = m_barFrame.topLeft();
        else if (name == QLatin1String("AXSize"))
            result = m_barFrame.size();
        else if (name == QLatin1String("AXParent"))
            result = QVariant::fromValue(elementOf(DockWire::applicationElement));
    } else {
        const AccessibleTile *found = nullptr;
        for (const AccessibleTile &tile : std::as_const(m_tiles)) {
            if (tile.identifier == element)
                found = &tile;
        }
        if (!found)
            return AXError::InvalidUIElement;
        if (name == QLatin1String("AXRole"))
            result = QStringLiteral("AXDockItem");
        else if (name == QLatin1String("AXSubrole"))
            result = found->subrole;
        else if (name == QLatin1String("AXTitle"))
            result = found->title;
        else if (name == QLatin1String("AXURL"))
            result = QUrl::fromLocalFile(found->path);
        else if (name == QLatin1String("AXPosition"))
            result = found->frame.topLeft();
        else if (name == QLatin1String("AXSize"))
            result = found->frame.size();
        else if (name == QLatin1String("AXParent"))
            result = QVariant::fromValue(elementOf(DockWire::listElement));
    }
    if (!result.isValid())
        return AXError::AttributeUnsupported;
    if (value)
        *value = result;
    return AXError::Success;
}
