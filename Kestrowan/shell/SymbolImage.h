#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <optional>

class QPainter;

// One of the program's own symbol drawings ("folder.fill", "link", ...), kept as SVG files in the
// resources folder "symbols". A drawing's view box is laid out so that 100 units are one point size:
// a symbol configured at 20 points whose view box is 120 by 90 is 24 by 18 points. Drawings paint in
// "#000000", which configuration replaces by the chosen colour, and a heavier weight widens every
// stroke of the drawing.
class SymbolImage {
public:
    enum class Weight { Regular, Medium, Semibold, Bold };

    // Point size of a symbol that nobody configured: the size of body text.
    static constexpr qreal kDefaultPointSize = 13;

    // The drawing of that name, or nothing when the program has none (or it is not valid SVG).
    static std::optional<SymbolImage> named(const QString &name);

    SymbolImage configured(qreal pointSize, Weight weight, const QColor &color) const;
    // The same symbol drawn in `color`, at its size and weight.
    SymbolImage tinted(const QColor &color) const { return configured(m_pointSize, m_weight, color); }

    QString name() const { return m_name; }
    // Size in points at the configured point size.
    QSizeF size() const;
    // Paints the whole drawing stretched into `rect` (in the painter's coordinates, y downwards).
    void render(QPainter &painter, const QRectF &rect) const;
    // The drawing as a bitmap of its own size, for widgets.
    QImage toImage(qreal pixelsPerPoint) const;

    // Where the drawings are looked up; the packaged resources unless a test points elsewhere.
    static QString symbolsFolder();

private:
    SymbolImage() = default;
    QByteArray document() const;

    QString m_name;
    QByteArray m_source;
    QSizeF m_viewBox;
    qreal m_pointSize = kDefaultPointSize;
    Weight m_weight = Weight::Regular;
    QColor m_color = Qt::black;
};
