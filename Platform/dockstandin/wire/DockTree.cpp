#include "Platform/dockstandin/wire/DockTree.h"

#include "Platform/dockstandin/wire/DockWire.h"

#include <QCborArray>
#include <QSizeF>
#include <QUrl>

#include <cmath>

namespace {

// More tiles than any Dock holds; a message with more is not the Dock's.
constexpr qsizetype maximumTiles = 10000;

QCborArray encodeRect(const QRectF &rect)
{
    return QCborArray{rect.x(), rect.y(), rect.width(), rect.height()};
}

std::optional<QRectF> decodeRect(const QCborValue &value)
{
    if (!value.isArray())
        return std::nullopt;
    const QCborArray numbers = value.toArray();
    if (numbers.size() != 4)
        return std::nullopt;
    double parts[4];
    for (int i = 0; i < 4; ++i) {
        const QCborValue number = numbers.at(i);
        if (!(number.isDouble() || number.isInteger()) || !std::isfinite(number.toDouble()))
            return std::nullopt;
        parts[i] = number.toDouble();
    }
    if (parts[2] < 0 || parts[3] < 0)
        return std::nullopt;
    return QRectF(parts[0], parts[1], parts[2], parts[3]);
}

} // namespace

bool DockTree::setLayout(const QList<AccessibleTile> &tiles, const QRectF &barFrame, bool shown)
{
    if (tiles == m_tiles && barFrame == m_barFrame && shown == m_shown)
        return false;
    m_tiles = tiles;
    m_barFrame = barFrame;
    m_shown = shown;
    m_positions.clear();
    m_positions.reserve(m_tiles.size());
    for (qsizetype i = 0; i < m_tiles.size(); ++i)
        m_positions.insert(m_tiles.at(i).identifier, i);
    return true;
}

bool DockTree::setSelected(std::optional<quint64> tile)
{
    if (m_selected == tile)
        return false;
    m_selected = tile;
    return true;
}

std::optional<quint64> DockTree::tileAt(const QPointF &point) const
{
    if (!m_shown)
        return std::nullopt;
    for (const AccessibleTile &tile : m_tiles) {
        if (tile.frame.contains(point))
            return tile.identifier;
    }
    return std::nullopt;
}

const AccessibleTile *DockTree::tile(quint64 identifier) const
{
    const auto found = m_positions.constFind(identifier);
    return found == m_positions.cend() ? nullptr : &m_tiles.at(*found);
}

AXError DockTree::attribute(quint64 element, const QString &name, QVariant *value, qint64 processIdentifier) const
{
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
        if (name == QLatin1String("AXRole")) {
            result = QStringLiteral("AXList");
        } else if (name == QLatin1String("AXChildren")) {
            QList<AXUIElement> children;
            children.reserve(m_tiles.size());
            for (const AccessibleTile &tile : m_tiles)
                children.append(elementOf(tile.identifier));
            result = QVariant::fromValue(children);
        } else if (name == QLatin1String("AXSelectedChildren")) {
            QList<AXUIElement> selection;
            if (m_selected)
                selection.append(elementOf(*m_selected));
            result = QVariant::fromValue(selection);
        } else if (name == QLatin1String("AXPosition")) {
            result = m_barFrame.topLeft();
        } else if (name == QLatin1String("AXSize")) {
            result = m_barFrame.size();
        } else if (name == QLatin1String("AXParent")) {
            result = QVariant::fromValue(elementOf(DockWire::applicationElement));
        }
    } else {
        const AccessibleTile *found = tile(element);
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

QCborMap DockTree::encodeLayout() const
{
    QCborArray tiles;
    for (const AccessibleTile &tile : m_tiles) {
        tiles.append(QCborMap{{QStringLiteral("id"), qint64(tile.identifier)},
                              {QStringLiteral("title"), tile.title},
                              {QStringLiteral("sub"), tile.subrole},
                              {QStringLiteral("path"), tile.path},
                              {QStringLiteral("frame"), encodeRect(tile.frame)}});
    }
    return QCborMap{{QStringLiteral("tiles"), tiles},
                    {QStringLiteral("bar"), encodeRect(m_barFrame)},
                    {QStringLiteral("shown"), m_shown}};
}

std::optional<DockTree> DockTree::decodeLayout(const QCborMap &map)
{
    const QCborValue tiles = map.value(QStringLiteral("tiles"));
    const std::optional<QRectF> bar = decodeRect(map.value(QStringLiteral("bar")));
    const QCborValue shown = map.value(QStringLiteral("shown"));
    if (!tiles.isArray() || !bar || !shown.isBool() || tiles.toArray().size() > maximumTiles)
        return std::nullopt;
    QList<AccessibleTile> decoded;
    QSet<quint64> identifiers;
    for (const QCborValue &value : tiles.toArray()) {
        if (!value.isMap())
            return std::nullopt;
        const QCborMap entry = value.toMap();
        const QCborValue identifier = entry.value(QStringLiteral("id"));
        const QCborValue title = entry.value(QStringLiteral("title"));
        const QCborValue subrole = entry.value(QStringLiteral("sub"));
        const QCborValue path = entry.value(QStringLiteral("path"));
        const std::optional<QRectF> frame = decodeRect(entry.value(QStringLiteral("frame")));
        // Identifiers below the first tile's name the application and the list.
        if (!identifier.isInteger() || identifier.toInteger() < qint64(DockWire::firstTileIdentifier) || !title.isString()
            || !subrole.isString() || !path.isString() || !frame)
            return std::nullopt;
        const quint64 id = quint64(identifier.toInteger());
        if (identifiers.contains(id))
            return std::nullopt;
        identifiers.insert(id);
        decoded.append({id, title.toString(), subrole.toString(), path.toString(), *frame});
    }
    DockTree tree;
    tree.setLayout(decoded, *bar, shown.toBool());
    return tree;
}

QCborValue DockTree::encodeSelection(std::optional<quint64> tile)
{
    return tile ? QCborValue(qint64(*tile)) : QCborValue(QCborValue::Null);
}

std::optional<std::optional<quint64>> DockTree::decodeSelection(const QCborValue &value)
{
    if (value.isNull())
        return std::optional<quint64>();
    if (!value.isInteger() || value.toInteger() < qint64(DockWire::firstTileIdentifier))
        return std::nullopt;
    return std::optional<quint64>(quint64(value.toInteger()));
}
