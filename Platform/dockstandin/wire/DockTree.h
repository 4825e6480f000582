#pragma once

#include "Platform/Accessibility.h"

#include <QCborMap>
#include <QCborValue>
#include <QHash>
#include <QList>
#include <QRectF>
#include <QString>
#include <QVariant>

#include <optional>

// One tile as Accessibility shows it; the frame is in the top-left-origin global space.
struct AccessibleTile {
    quint64 identifier = 0;
    QString title;
    QString subrole;
    QString path;
    QRectF frame;

    friend bool operator==(const AccessibleTile &, const AccessibleTile &) = default;
};

// The Dock's Accessibility tree as one value: the Dock answers requests from it, and sends it to
// the clients that keep a copy, so that they read tiles and the selection without asking.
class DockTree {
public:
    const QList<AccessibleTile> &tiles() const { return m_tiles; }
    QRectF barFrame() const { return m_barFrame; }
    bool isShown() const { return m_shown; }
    std::optional<quint64> selected() const { return m_selected; }

    // False when nothing changed.
    bool setLayout(const QList<AccessibleTile> &tiles, const QRectF &barFrame, bool shown);
    bool setSelected(std::optional<quint64> tile);

    // The tile under a point of the bar while it shows; none elsewhere, and never the list.
    std::optional<quint64> tileAt(const QPointF &point) const;
    const AccessibleTile *tile(quint64 identifier) const;
    AXError attribute(quint64 element, const QString &name, QVariant *value, qint64 processIdentifier) const;

    // The layout (tiles, bar, shown) as a message part, and back; nullopt for anything malformed.
    QCborMap encodeLayout() const;
    static std::optional<DockTree> decodeLayout(const QCborMap &map);
    static QCborValue encodeSelection(std::optional<quint64> tile);
    // The outer nullopt for a malformed value; the inner one for no selection.
    static std::optional<std::optional<quint64>> decodeSelection(const QCborValue &value);

private:
    QList<AccessibleTile> m_tiles;
    QHash<quint64, qsizetype> m_positions;
    QRectF m_barFrame;
    bool m_shown = false;
    std::optional<quint64> m_selected;
};
