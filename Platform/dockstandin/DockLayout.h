#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

// Where the bar and its tiles go on a screen: centred along the edge that the orientation names,
// application tiles first, then a separator, then the folder and document tiles.
struct DockLayout {
    static constexpr int tileSize = 56;
    static constexpr int minimumTileSize = 16;
    static constexpr int gap = 6;
    static constexpr int padding = 6;
    static constexpr int separatorLength = 10;

    QRect bar;
    QList<QRect> tiles; // in the order given: applications, then the others
    std::optional<QRect> separator;

    int thickness() const;
    bool isVertical() const { return m_vertical; }

    static DockLayout compute(const QRect &screen, const QString &orientation, int applicationCount, int otherCount);

private:
    bool m_vertical = false;
};
