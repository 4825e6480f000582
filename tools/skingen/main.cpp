// Draws the shipped skins: three layer images per skin and its "skin.json".
// Usage: skingen <output folder>   (normally resources/Skins)
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QtMath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kSide = 512;

QColor rgba(int r, int g, int b, qreal a = 1.0)
{
    QColor c(r, g, b);
    c.setAlphaF(float(a));
    return c;
}

// Soft layers may be stored at a fraction of the canvas: the icon painter stretches every layer over
// the whole canvas, and half the pixels keep the file small.
QImage drawLayer(const std::function<void(QPainter &, QRandomGenerator &)> &draw, quint32 seed, qreal scale)
{
    const int side = int(kSide * scale);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QRandomGenerator rng(seed);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    draw(p, rng);
    p.end();
    return image;
}

// A soft round glow: colour at the centre fading to nothing at `radius`.
void glow(QPainter &p, QPointF centre, qreal radius, const QColor &color)
{
    QRadialGradient g(centre, radius);
    g.setColorAt(0, color);
    QColor mid = color;
    mid.setAlphaF(color.alphaF() * 0.35f);
    g.setColorAt(0.45, mid);
    g.setColorAt(1, Qt::transparent);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

qreal uniform(QRandomGenerator &rng, qreal lo, qreal hi)
{
    return lo + rng.generateDouble() * (hi - lo);
}

void rim(QPainter &p, const QColor &top, const QColor &bottom, qreal width)
{
    QLinearGradient g(0, 0, 0, kSide);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(g), width));
    const qreal inset = width / 2 + 1;
    p.drawRoundedRect(QRectF(inset, inset, kSide - 2 * inset, kSide - 2 * inset), 100 - inset, 100 - inset);
}

// --- Aurora: a night sky with green and violet curtains of light -------------------------------

void auroraSky(QPainter &p, QRandomGenerator &rng)
{
    QLinearGradient sky(0, 0, 0, kSide);
    sky.setColorAt(0, rgba(6, 10, 34));
    sky.setColorAt(0.55, rgba(15, 26, 70));
    sky.setColorAt(1, rgba(30, 18, 66));
    p.fillRect(QRect(0, 0, kSide, kSide), sky);
    glow(p, QPointF(256, 600), 430, rgba(86, 48, 150, 0.55));
    for (int i = 0; i < 110; ++i) {
        const QPointF at(uniform(rng, 4, kSide - 4), uniform(rng, 4, kSide - 4));
        const qreal r = uniform(rng, 0.5, 1.5);
        const qreal a = uniform(rng, 0.25, 0.9) * (1.0 - at.y() / kSide * 0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(rgba(235, 240, 255, a));
        p.drawEllipse(at, r, r);
    }
    for (int i = 0; i < 9; ++i) {
        const QPointF at(uniform(rng, 20, kSide - 20), uniform(rng, 16, 300));
        glow(p, at, uniform(rng, 5, 9), rgba(210, 225, 255, 0.7));
        p.setBrush(rgba(255, 255, 255, 0.95));
        p.drawEllipse(at, 1.3, 1.3);
    }
}

// A curtain of light: vertical rays rising from a wavy lower edge, brightest just above that edge
// and fading upwards, with a soft glow below it.
void auroraCurtain(QPainter &p, qreal base, qreal amplitude, qreal phase, qreal height, const QColor &low, const QColor &high)
{
    for (qreal x = -4; x < kSide + 4; x += 1.0) {
        const qreal t = x / kSide;
        const qreal y = base + amplitude * std::sin(t * 2.6 * M_PI + phase) + 0.35 * amplitude * std::sin(t * 7.1 * M_PI + 2 * phase);
        const qreal h = height * (0.65 + 0.35 * std::sin(t * 5.3 * M_PI + phase * 1.7));
        const qreal skirt = 18;
        QLinearGradient g(x, y + skirt, x, y - h);
        const qreal edge = skirt / (h + skirt);
        g.setColorAt(0, Qt::transparent);
        g.setColorAt(edge, low);
        g.setColorAt(edge + 0.2, high);
        g.setColorAt(1, Qt::transparent);
        p.setPen(QPen(QBrush(g), 2.2));
        p.drawLine(QPointF(x, y + skirt), QPointF(x, y - h));
    }
}

void auroraRibbons(QPainter &p, QRandomGenerator &)
{
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    auroraCurtain(p, 340, 46, 0.4, 250, rgba(70, 255, 170, 0.28), rgba(40, 235, 150, 0.15));
    auroraCurtain(p, 255, 38, 2.1, 190, rgba(80, 225, 255, 0.12), rgba(60, 190, 240, 0.07));
    auroraCurtain(p, 190, 30, 4.0, 160, rgba(210, 120, 255, 0.22), rgba(170, 90, 255, 0.12));
    auroraCurtain(p, 440, 26, 5.2, 130, rgba(120, 255, 190, 0.2), rgba(90, 240, 170, 0.11));
}

void auroraFrost(QPainter &p, QRandomGenerator &rng)
{
    QPainterPath sheen;
    sheen.moveTo(0, 0);
    sheen.lineTo(kSide, 0);
    sheen.cubicTo(380, 70, 170, 150, 0, 250);
    sheen.closeSubpath();
    QLinearGradient g(0, 0, 140, 200);
    g.setColorAt(0, rgba(255, 255, 255, 0.16));
    g.setColorAt(1, rgba(255, 255, 255, 0.0));
    p.fillPath(sheen, g);
    rim(p, rgba(220, 235, 255, 0.34), rgba(150, 120, 255, 0.30), 3);
    for (int i = 0; i < 6; ++i) {
        const QPointF at(uniform(rng, 30, kSide - 30), uniform(rng, 18, 46));
        glow(p, at, 6, rgba(230, 240, 255, 0.6));
    }
}

// --- Ember: a bed of glowing coals with sparks rising -------------------------------------------

void emberCoal(QPainter &p, QRandomGenerator &rng)
{
    QRadialGradient base(QPointF(256, 300), 420);
    base.setColorAt(0, rgba(62, 30, 19));
    base.setColorAt(0.6, rgba(30, 15, 11));
    base.setColorAt(1, rgba(13, 7, 6));
    p.fillRect(QRect(0, 0, kSide, kSide), base);
    // Coals: overlapping dark lumps, each lit from below.
    for (int i = 0; i < 46; ++i) {
        const QPointF at(uniform(rng, -20, kSide + 20), uniform(rng, 430, 540));
        const qreal r = uniform(rng, 22, 46);
        QRadialGradient lump(at + QPointF(0, r * 0.35), r * 1.1);
        lump.setColorAt(0, rgba(255, 120, 40, uniform(rng, 0.55, 0.85)));
        lump.setColorAt(0.5, rgba(170, 50, 20, 0.6));
        lump.setColorAt(1, rgba(30, 12, 8, 0.0));
        p.setPen(Qt::NoPen);
        p.setBrush(lump);
        p.drawEllipse(at, r, r * 0.8);
        p.setBrush(rgba(24, 12, 9, 0.55));
        p.drawEllipse(at - QPointF(0, r * 0.25), r * 0.7, r * 0.45);
    }
    glow(p, QPointF(256, 520), 260, rgba(255, 110, 30, 0.35));
}

void emberGlow(QPainter &p, QRandomGenerator &rng)
{
    glow(p, QPointF(256, 580), 470, rgba(255, 96, 24, 0.50));
    glow(p, QPointF(120, 540), 200, rgba(255, 150, 60, 0.30));
    glow(p, QPointF(400, 550), 220, rgba(255, 130, 40, 0.30));
    for (int i = 0; i < 60; ++i) {
        const qreal y = kSide - std::pow(rng.generateDouble(), 1.6) * kSide;
        const QPointF at(uniform(rng, 8, kSide - 8), y);
        const qreal r = uniform(rng, 0.8, 2.2);
        glow(p, at, r * 4, rgba(255, 140, 50, 0.35));
        p.setBrush(rgba(255, 214, 140, uniform(rng, 0.6, 1.0)));
        p.drawEllipse(at, r, r);
    }
}

void emberRim(QPainter &p, QRandomGenerator &rng)
{
    QLinearGradient heat(0, kSide, 0, 330);
    heat.setColorAt(0, rgba(255, 110, 30, 0.22));
    heat.setColorAt(1, rgba(255, 110, 30, 0.0));
    p.fillRect(QRect(0, 330, kSide, kSide - 330), heat);
    rim(p, rgba(255, 190, 120, 0.26), rgba(255, 110, 40, 0.55), 3);
    for (int i = 0; i < 14; ++i) {
        const QPointF at(uniform(rng, 20, kSide - 20), uniform(rng, 10, kSide - 10));
        const qreal r = uniform(rng, 0.8, 1.6);
        glow(p, at, r * 5, rgba(255, 150, 60, 0.45));
        p.setBrush(rgba(255, 230, 170, 0.95));
        p.drawEllipse(at, r, r);
    }
}

// --- Tidepool: clear water over sand, pebbles and a starfish ------------------------------------

void tidepoolWater(QPainter &p, QRandomGenerator &rng)
{
    QLinearGradient water(0, 0, 0, kSide);
    water.setColorAt(0, rgba(54, 200, 190));
    water.setColorAt(0.5, rgba(22, 140, 160));
    water.setColorAt(1, rgba(12, 82, 112));
    p.fillRect(QRect(0, 0, kSide, kSide), water);
    // Light shafts from the surface.
    for (int i = 0; i < 5; ++i) {
        const qreal x = uniform(rng, 40, 470);
        QPainterPath shaft;
        shaft.moveTo(x - 18, 0);
        shaft.lineTo(x + 18, 0);
        shaft.lineTo(x + 70, kSide);
        shaft.lineTo(x - 10, kSide);
        shaft.closeSubpath();
        QLinearGradient g(0, 0, 0, kSide);
        g.setColorAt(0, rgba(255, 255, 255, 0.10));
        g.setColorAt(1, rgba(255, 255, 255, 0.0));
        p.fillPath(shaft, g);
    }
    // Caustics: two families of wavy lines crossing.
    p.setBrush(Qt::NoBrush);
    for (int family = 0; family < 2; ++family) {
        for (int i = 0; i < 14; ++i) {
            QPainterPath wave;
            const qreal offset = i * 40 + uniform(rng, -8, 8);
            const qreal phase = uniform(rng, 0, 6.28);
            for (int s = 0; s <= 64; ++s) {
                const qreal t = s / 64.0 * (kSide + 40) - 20;
                const qreal d = offset + 9 * std::sin(t / 23.0 + phase) + 5 * std::sin(t / 9.0 + phase * 2);
                const QPointF pt = family == 0 ? QPointF(t, d) : QPointF(d, t);
                if (s == 0)
                    wave.moveTo(pt);
                else
                    wave.lineTo(pt);
            }
            p.setPen(QPen(rgba(220, 255, 250, 0.10), uniform(rng, 1.5, 3.0)));
            p.drawPath(wave);
        }
    }
}

void pebble(QPainter &p, QPointF at, qreal rx, qreal ry, qreal angle, const QColor &color)
{
    p.save();
    p.translate(at);
    p.rotate(angle);
    p.setPen(Qt::NoPen);
    p.setBrush(rgba(0, 30, 40, 0.25));
    p.drawEllipse(QPointF(3, 5), rx, ry);
    QRadialGradient g(QPointF(-rx * 0.35, -ry * 0.4), std::max(rx, ry) * 1.3);
    g.setColorAt(0, color.lighter(135));
    g.setColorAt(0.6, color);
    g.setColorAt(1, color.darker(140));
    p.setBrush(g);
    p.drawEllipse(QPointF(0, 0), rx, ry);
    p.restore();
}

void starfish(QPainter &p, QPointF centre, qreal radius, qreal angle)
{
    QPainterPath star;
    for (int i = 0; i < 10; ++i) {
        const qreal a = qDegreesToRadians(angle + i * 36.0 - 90);
        const qreal r = i % 2 == 0 ? radius : radius * 0.42;
        const QPointF pt = centre + QPointF(std::cos(a) * r, std::sin(a) * r);
        if (i == 0)
            star.moveTo(pt);
        else
            star.lineTo(pt);
    }
    star.closeSubpath();
    p.setPen(QPen(rgba(190, 80, 40), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QRadialGradient g(centre, radius);
    g.setColorAt(0, rgba(255, 170, 100));
    g.setColorAt(1, rgba(235, 110, 60));
    p.setBrush(g);
    p.drawPath(star);
    p.setPen(Qt::NoPen);
    p.setBrush(rgba(255, 225, 180, 0.8));
    for (int i = 0; i < 5; ++i) {
        const qreal a = qDegreesToRadians(angle + i * 72.0 - 90);
        for (qreal f = 0.25; f < 0.8; f += 0.18)
            p.drawEllipse(centre + QPointF(std::cos(a), std::sin(a)) * radius * f, 1.6, 1.6);
    }
}

void tidepoolPebbles(QPainter &p, QRandomGenerator &rng)
{
    // Sand drifts along the bottom.
    QPainterPath sand;
    sand.moveTo(0, 430);
    sand.cubicTo(140, 400, 300, 470, kSide, 420);
    sand.lineTo(kSide, kSide);
    sand.lineTo(0, kSide);
    sand.closeSubpath();
    QLinearGradient g(0, 410, 0, kSide);
    g.setColorAt(0, rgba(226, 206, 160, 0.75));
    g.setColorAt(1, rgba(190, 160, 110, 0.9));
    p.fillPath(sand, g);
    const QList<QColor> colors{rgba(120, 138, 146), rgba(214, 196, 160), rgba(232, 154, 138), rgba(86, 106, 116)};
    for (int i = 0; i < 26; ++i) {
        const bool bottom = i < 18;
        const QPointF at = bottom ? QPointF(uniform(rng, 0, kSide), uniform(rng, 445, 505))
                                  : QPointF(i % 2 ? uniform(rng, 4, 50) : uniform(rng, 462, 508), uniform(rng, 60, 440));
        pebble(p, at, uniform(rng, 10, 22), uniform(rng, 7, 14), uniform(rng, 0, 180), colors.at(int(rng.bounded(colors.size()))));
    }
    // Sea grass along the left edge.
    for (int i = 0; i < 5; ++i) {
        const qreal x = 10 + i * 9;
        QPainterPath blade;
        blade.moveTo(x, kSide);
        blade.cubicTo(x + 30, 380, x - 25, 300, x + 12 + i * 4, 200 + i * 22);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(rgba(46, 160, 110, 0.85), 5 - i * 0.5, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(blade);
    }
    starfish(p, QPointF(448, 462), 34, 12);
}

void tidepoolSurface(QPainter &p, QRandomGenerator &rng)
{
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 7; ++i) {
        const qreal y = 16 + i * 9 + uniform(rng, -3, 3);
        const qreal x0 = uniform(rng, 40, 300);
        const qreal len = uniform(rng, 60, 170);
        QPainterPath wave;
        wave.moveTo(x0, y);
        wave.cubicTo(x0 + len * 0.3, y - 5, x0 + len * 0.6, y + 5, x0 + len, y);
        p.setPen(QPen(rgba(255, 255, 255, 0.30 - i * 0.03), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(wave);
    }
    for (int i = 0; i < 9; ++i) {
        const QPointF at(uniform(rng, 470, 500), uniform(rng, 120, 420));
        const qreal r = uniform(rng, 2.5, 6);
        p.setPen(QPen(rgba(235, 255, 255, 0.65), 1.2));
        p.setBrush(rgba(235, 255, 255, 0.10));
        p.drawEllipse(at, r, r);
        p.setPen(Qt::NoPen);
        p.setBrush(rgba(255, 255, 255, 0.9));
        p.drawEllipse(at + QPointF(-r * 0.35, -r * 0.35), r * 0.25, r * 0.25);
    }
    rim(p, rgba(200, 255, 250, 0.40), rgba(120, 210, 220, 0.22), 3);
}

// --- Packaging ------------------------------------------------------------------------------------

struct Layer {
    QString imageName;
    QString zOrder;
    double opacity;
    QString blendMode;
    std::function<void(QPainter &, QRandomGenerator &)> draw;
    qreal scale = 1.0;
};

struct Skin {
    QString id;
    QString name;
    QString description;
    QStringList tags;
    QList<Layer> layers;
};

bool writeSkin(const QString &root, const Skin &skin, quint32 seed)
{
    const QString folder = root + QLatin1Char('/') + skin.id;
    if (!QDir().mkpath(folder))
        return false;
    QJsonArray layers;
    for (const Layer &layer : skin.layers) {
        const QImage image = drawLayer(layer.draw, seed++, layer.scale);
        QImageWriter writer(folder + QLatin1Char('/') + layer.imageName, "png");
        writer.setQuality(0);
        if (!writer.write(image)) {
            std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(writer.fileName()));
            return false;
        }
        layers.append(QJsonObject{{"imageName", layer.imageName}, {"zOrder", layer.zOrder}, {"opacity", layer.opacity}, {"blendMode", layer.blendMode}});
    }
    // The tile squares of a 512-point canvas, for skins that want to know where items sit.
    QJsonArray slotArray;
    const double side = 191.52;
    const QList<QPointF> origins{{60.48, 260}, {260, 260}, {60.48, 60.48}, {260, 60.48}};
    for (int i = 0; i < origins.size(); ++i) {
        slotArray.append(QJsonObject{{"id", i}, {"x", origins[i].x()}, {"y", origins[i].y()}, {"width", side}, {"height", side},
                                 {"cornerRadius", side * 0.22}, {"padding", 0}});
    }
    const QJsonObject json{{"id", skin.id},
                           {"name", skin.name},
                           {"version", 1},
                           {"canvasSize", kSide},
                           {"layers", layers},
                           {"slots", slotArray},
                           {"metadata", QJsonObject{{"author", "Kestrowan"},
                                                    {"description", skin.description},
                                                    {"tags", QJsonArray::fromStringList(skin.tags)}}}};
    QFile file(folder + QStringLiteral("/skin.json"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QJsonDocument(json).toJson(QJsonDocument::Indented));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: skingen <output folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QList<Skin> skins{
        {"aurora", "Aurora", "Curtains of green and violet light over a starry night.", {"night", "sky", "cool"},
         {{"aurora-sky.png", "background", 1.0, "normal", auroraSky},
          {"aurora-ribbons.png", "midground", 0.95, "screen", auroraRibbons, 0.5},
          {"aurora-frost.png", "foreground", 0.9, "normal", auroraFrost}}},
        {"ember", "Ember", "A bed of glowing coals with sparks drifting up.", {"warm", "fire", "dark"},
         {{"ember-coal.png", "background", 1.0, "normal", emberCoal},
          {"ember-glow.png", "midground", 0.95, "screen", emberGlow},
          {"ember-rim.png", "foreground", 0.9, "normal", emberRim}}},
        {"tidepool", "Tidepool", "Clear shallow water over sand, pebbles and a starfish.", {"water", "calm", "bright"},
         {{"tidepool-water.png", "background", 1.0, "normal", tidepoolWater},
          {"tidepool-pebbles.png", "midground", 1.0, "normal", tidepoolPebbles},
          {"tidepool-surface.png", "foreground", 0.9, "normal", tidepoolSurface}}},
    };
    quint32 seed = 20240611;
    for (const Skin &skin : skins) {
        if (!writeSkin(root, skin, seed)) {
            std::fprintf(stderr, "skingen: cannot write skin %s\n", qPrintable(skin.id));
            return 1;
        }
        seed += 100;
    }
    return 0;
}
