#include "tests/app/StandinDockTiles.h"

#include <QRectF>

QVariant StandinDockTiles::attribute(const AXUIElement &element, const QString &name)
{
    QVariant value;
    return m_accessibility.copyAttributeValue(element, name, &value) == AXError::Success ? value : QVariant();
}

QList<AXUIElement> StandinDockTiles::tileElements()
{
    const auto lists = attribute(m_accessibility.createApplication(m_dock), "AXChildren").value<QList<AXUIElement>>();
    if (lists.size() != 1)
        return {};
    return attribute(lists.first(), "AXChildren").value<QList<AXUIElement>>();
}

QStringList StandinDockTiles::tiles()
{
    QStringList result;
    for (const AXUIElement &tile : tileElements())
        result << attribute(tile, "AXTitle").toString() + " (" + attribute(tile, "AXSubrole").toString() + ")";
    return result;
}

std::optional<QPoint> StandinDockTiles::centreOf(const QString &title)
{
    for (const AXUIElement &tile : tileElements()) {
        if (attribute(tile, "AXTitle").toString() == title)
            return QRectF(attribute(tile, "AXPosition").toPointF(), attribute(tile, "AXSize").toSizeF()).center().toPoint();
    }
    return std::nullopt;
}
