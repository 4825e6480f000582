#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/SkinIconPainter.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/DecodedIcons.h"
#include "Platform/FileStamp.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

using Style = AppGroup::IconStyle;

namespace {

const QList<QColor> kItemColors{QColor(220, 30, 30), QColor(30, 200, 60), QColor(40, 70, 230), QColor(240, 200, 20)};

QJsonObject layer(const QString &image, const QString &z, double opacity = 1, const QString &blend = "normal")
{
    return QJsonObject{{"imageName", image}, {"zOrder", z}, {"opacity", opacity}, {"blendMode", blend}};
}

// A 512-pixel square image, transparent except `area` (in pixels, rows from the top).
QImage paintedArea(const QRect &area, const QColor &color, int side = 512)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(area, color);
    return image;
}

} // namespace

class TestSkinPainter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void layersStackAroundTheTiles();
    void opacityIsAppliedAsAlphaAndFraction();
    void blendModesDrawLikeNormal();
    void clipRadiusFollowsTheCanvas();
    void largerCanvasesScaleTheGrid();
    void skinWithoutLayersOrItems();
    void imagesOutsideTheFolderAreNeverRead();
    void layerLinksMustStayInsideTheFolder();
    void shippedSkinsAreComplete();
    void layersOfAbsurdSizeAreNotDecoded();
    void aChangedLayerIsDrawnAgain();

private:
    void writeSkin(const QString &id, const QJsonArray &layers, int canvasSize = 512);
    void writeImage(const QString &id, const QString &name, const QImage &image);
    QImage compose(const QString &id, int itemCount);
    QList<AppItem> items(int count);

    QTemporaryDir m_dir;
    QString m_skins;
    FakeWorkspace *m_workspace = nullptr;
};

void TestSkinPainter::initTestCase()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    m_workspace = &installFakeWorkspace();
    QVERIFY(m_dir.isValid());
    m_skins = m_dir.filePath("Skins");
}

void TestSkinPainter::writeSkin(const QString &id, const QJsonArray &layers, int canvasSize)
{
    QVERIFY(QDir().mkpath(m_skins + "/" + id));
    QFile file(m_skins + "/" + id + "/skin.json");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(QJsonObject{{"id", id}, {"name", id}, {"version", 1}, {"canvasSize", canvasSize}, {"layers", layers}, {"slots", QJsonArray{}}})
                   .toJson());
}

void TestSkinPainter::writeImage(const QString &id, const QString &name, const QImage &image)
{
    QVERIFY(QDir().mkpath(m_skins + "/" + id));
    QVERIFY(image.save(m_skins + "/" + id + "/" + name, "png"));
}

QList<AppItem> TestSkinPainter::items(int count)
{
    QList<AppItem> list;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("/Applications/Skinned%1.app").arg(i);
        m_workspace->fileIcons.insert(path, solidIcon(kItemColors.at(i)));
        list.append(AppItem{QUuid::createUuid(), QStringLiteral("com.example.%1").arg(i), QStringLiteral("App"), path});
    }
    return list;
}

QImage TestSkinPainter::compose(const QString &id, int itemCount)
{
    const SkinManager manager(m_skins, QString());
    const auto skin = manager.skinWithID(id);
    if (!skin)
        return {};
    return settledGroupIcon(items(itemCount), Style::Skin, skin, &manager);
}

void TestSkinPainter::layersStackAroundTheTiles()
{
    // Listed out of pass order on purpose: foreground first, the two backgrounds apart.
    writeSkin("stack", QJsonArray{layer("cover.png", "foreground"), layer("red.png", "background"), layer("left.png", "midground"),
                                  layer("bottom.png", "background")});
    writeImage("stack", "red.png", paintedArea(QRect(0, 0, 512, 512), Qt::red));
    writeImage("stack", "bottom.png", paintedArea(QRect(0, 256, 512, 256), Qt::blue));
    writeImage("stack", "left.png", paintedArea(QRect(0, 0, 256, 512), Qt::green));
    writeImage("stack", "cover.png", paintedArea(QRect(300, 40, 100, 100), Qt::yellow));
    const QImage icon = compose("stack", 4);
    QCOMPARE(icon.size(), QSize(512, 512));

    QCOMPARE_COLOR(pointColor(icon, 470, 300), QColor(Qt::red), 0);   // first background
    QCOMPARE_COLOR(pointColor(icon, 470, 120), QColor(Qt::blue), 0);  // second background over the first
    QCOMPARE_COLOR(pointColor(icon, 30, 300), QColor(Qt::green), 0);  // midground over both
    QCOMPARE_COLOR(pointColor(icon, 30, 120), QColor(Qt::green), 0);
    const QList<QRectF> tiles = IconComposer::tileRects(4);
    for (int i = 0; i < 4; ++i) // tiles over the midground
        QCOMPARE_COLOR(pointColor(icon, tiles[i].center().x(), tiles[i].center().y()), kItemColors[i], 0);
    QCOMPARE_COLOR(pointColor(icon, 350, 420), QColor(Qt::yellow), 0); // foreground over a tile
    QCOMPARE(pointColor(icon, 1, 1).alpha(), 0);                        // rounded clip
}

void TestSkinPainter::opacityIsAppliedAsAlphaAndFraction()
{
    for (const auto &[opacity, alpha] : {std::pair{0.0, 0}, std::pair{1.0, 255}, std::pair{0.5, 64}}) {
        const QString id = QStringLiteral("opacity%1").arg(int(opacity * 10));
        writeSkin(id, QJsonArray{layer("red.png", "background", opacity)});
        writeImage(id, "red.png", paintedArea(QRect(0, 0, 512, 512), Qt::red));
        const QColor c = pointColor(compose(id, 0), 470, 300);
        QVERIFY2(std::abs(c.alpha() - alpha) <= 2, qPrintable(QStringLiteral("opacity %1 gives alpha %2").arg(opacity).arg(c.alpha())));
        if (alpha > 0)
            QCOMPARE(c.red(), 255);
    }
}

void TestSkinPainter::blendModesDrawLikeNormal()
{
    for (const char *mode : {"normal", "multiply", "screen", "overlay"}) {
        writeSkin(mode, QJsonArray{layer("base.png", "background"), layer("half.png", "midground", 0.8, mode)});
        writeImage(mode, "base.png", paintedArea(QRect(0, 0, 512, 512), QColor(40, 120, 200)));
        writeImage(mode, "half.png", paintedArea(QRect(0, 0, 256, 512), QColor(200, 180, 20, 200)));
    }
    const QImage normal = compose("normal", 2);
    for (const char *mode : {"multiply", "screen", "overlay"})
        QCOMPARE(compose(mode, 2), normal);
}

void TestSkinPainter::clipRadiusFollowsTheCanvas()
{
    for (int canvas : {512, 1024}) {
        const QString id = QStringLiteral("round%1").arg(canvas);
        writeSkin(id, QJsonArray{layer("fill.png", "background")}, canvas);
        writeImage(id, "fill.png", paintedArea(QRect(0, 0, 64, 64), Qt::red, 64)); // stretched to any canvas
        const QImage icon = compose(id, 0);
        QCOMPARE(icon.size(), QSize(canvas, canvas));
        const qreal radius = canvas * 100.0 / 512;
        const qreal d = radius * (1 - M_SQRT1_2);
        QCOMPARE_COLOR(pointColor(icon, d + 2, d + 2), QColor(Qt::red), 0);
        QCOMPARE(pointColor(icon, d - 2, d - 2).alpha(), 0);
        QCOMPARE_COLOR(pointColor(icon, canvas - d - 2, canvas - d - 2), QColor(Qt::red), 0);
        QCOMPARE(pointColor(icon, canvas - d + 2, canvas - d + 2).alpha(), 0);
    }
}

void TestSkinPainter::largerCanvasesScaleTheGrid()
{
    writeSkin("large", QJsonArray{}, 1024);
    const QImage icon = compose("large", 4);
    const QList<QRectF> tiles = IconComposer::tileRects(4);
    for (int i = 0; i < 4; ++i) {
        const QPointF centre = tiles[i].center() * 2;
        QCOMPARE_COLOR(pointColor(icon, centre.x(), centre.y()), kItemColors[i], 0);
        QCOMPARE_COLOR(pointColor(icon, tiles[i].right() * 2 - 3, centre.y()), kItemColors[i], 0);
    }
}

void TestSkinPainter::skinWithoutLayersOrItems()
{
    writeSkin("bare", QJsonArray{});
    const QImage bare = compose("bare", 1);
    QCOMPARE(pointColor(bare, 470, 300).alpha(), 0);
    QCOMPARE_COLOR(pointColor(bare, 256, 256), kItemColors[0], 0);

    // No items on a 1024-point skin: the faint symbol, 0.3 of the canvas, centred, light on the dark red.
    writeSkin("empty1024", QJsonArray{layer("red.png", "background")}, 1024);
    writeImage("empty1024", "red.png", paintedArea(QRect(0, 0, 512, 512), Qt::red));
    const QImage empty = compose("empty1024", 0);
    const qreal unit = 0.3 * 1024 / 100, origin = (1024 - 0.3 * 1024) / 2;
    QCOMPARE_COLOR(pointColor(empty, origin + 9 * unit, origin + (100 - 26) * unit), blendOver(QColor(255, 255, 255, 64), Qt::red), 3);
    QCOMPARE_COLOR(pointColor(empty, 512, 512), QColor(Qt::red), 0);
}

void TestSkinPainter::layerLinksMustStayInsideTheFolder()
{
    QImage outside = paintedArea(QRect(0, 0, 512, 512), Qt::magenta);
    QVERIFY(outside.save(m_dir.filePath("private.png"), "png"));
    writeImage("linked", "green.png", paintedArea(QRect(0, 0, 512, 512), Qt::green));
    const QString folder = m_skins + "/linked";
    QVERIFY(QFile::link(m_dir.filePath("private.png"), folder + "/escape.png"));
    QCOMPARE(::symlink("green.png", QFile::encodeName(folder + "/alias.png").constData()), 0);
    QVERIFY(QFile::link("/dev/zero", folder + "/zero.png"));
    QCOMPARE(::mkfifo(QFile::encodeName(folder + "/fifo.png").constData(), 0600), 0);
    const auto skin = [](const QString &image) {
        return SkinDefinition{"linked", "Linked", 1, 512, {SkinLayer{image, SkinLayer::ZOrder::Background, 1, SkinLayer::LayerBlendMode::Normal}}, {}, std::nullopt};
    };
    const auto draw = [this](const SkinDefinition &definition) {
        return settledSkinIcon(QList<IconComposer::IconSource>{}, definition, m_skins);
    };
    // A link out of the skin's folder would draw any picture on the machine.
    QCOMPARE(countPixels(draw(skin("escape.png")), Qt::magenta, 10), 0);
    // A device or a fifo is no picture, and must neither hang nor be read without end.
    QCOMPARE(countPixels(draw(skin("zero.png")), Qt::black, 10), 0);
    QCOMPARE(countPixels(draw(skin("fifo.png")), Qt::black, 10), 0);
    // A link inside the folder is fine, and so is a skin folder that is itself a link.
    QCOMPARE_COLOR(pointColor(draw(skin("green.png")), 256, 256), QColor(Qt::green), 0);
    QCOMPARE_COLOR(pointColor(draw(skin("alias.png")), 256, 256), QColor(Qt::green), 0);
    QVERIFY(QFile::link(folder, m_skins + "/via-link"));
    SkinDefinition viaLink = skin("green.png");
    viaLink.id = "via-link";
    QCOMPARE_COLOR(pointColor(draw(viaLink), 256, 256), QColor(Qt::green), 0);
}

void TestSkinPainter::imagesOutsideTheFolderAreNeverRead()
{
    // A painter handed such a skin directly (the manager would refuse it) skips the unsafe layers.
    QImage outside = paintedArea(QRect(0, 0, 512, 512), Qt::magenta);
    QVERIFY(outside.save(m_dir.filePath("outside.png"), "png"));
    writeImage("safe", "blue.png", paintedArea(QRect(0, 0, 512, 512), Qt::blue));
    SkinDefinition skin{"safe", "Safe", 1, 512,
                        {SkinLayer{"../../outside.png", SkinLayer::ZOrder::Background, 1, SkinLayer::LayerBlendMode::Normal},
                         SkinLayer{m_dir.filePath("outside.png"), SkinLayer::ZOrder::Background, 1, SkinLayer::LayerBlendMode::Normal},
                         SkinLayer{"missing.png", SkinLayer::ZOrder::Midground, 1, SkinLayer::LayerBlendMode::Normal}},
                        {},
                        std::nullopt};
    const QImage unsafeOnly = settledSkinIcon(QList<IconComposer::IconSource>{}, skin, m_skins);
    QCOMPARE(countPixels(unsafeOnly, Qt::magenta, 10), 0);
    skin.layers.append(SkinLayer{"blue.png", SkinLayer::ZOrder::Foreground, 1, SkinLayer::LayerBlendMode::Normal});
    QCOMPARE_COLOR(pointColor(settledSkinIcon(QList<IconComposer::IconSource>{}, skin, m_skins), 256, 256), QColor(Qt::blue), 0);

    // A canvas beyond reason draws the minimal style instead of allocating it.
    skin.canvasSize = 1 << 24;
    const QImage fallback = settledSkinIcon(QList<IconComposer::IconSource>{}, skin, m_skins);
    QCOMPARE(fallback, IconComposer::composeFromSources({}, Style::Minimal));
}

void TestSkinPainter::shippedSkinsAreComplete()
{
    QTemporaryDir home;
    const SkinManager manager(home.filePath("Skins"), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
    QStringList ids, names;
    for (const SkinDefinition &skin : manager.availableSkins()) {
        ids.append(skin.id);
        names.append(skin.name);
        QCOMPARE(skin.canvasSize, 512);
        QVERIFY(skin.layers.size() >= 2);
        for (const SkinLayer &l : skin.layers) {
            const QString path = manager.skinsDirectory() + "/" + skin.id + "/" + l.imageName;
            QVERIFY2(QFileInfo(path).size() < 200 * 1024, qPrintable(path));
            const QSize size = QImage(path).size();
            QVERIFY2(size.width() == size.height() && size.width() >= 256, qPrintable(path)); // stretched over the canvas
        }
        const QImage icon = settledGroupIcon(items(4), Style::Skin, skin, &manager);
        QCOMPARE(icon.size(), QSize(512, 512));
        QVERIFY(pointColor(icon, 30, 256).alpha() == 255); // the artwork covers the margins
        QCOMPARE(pointColor(icon, 1, 1).alpha(), 0);
    }
    QCOMPARE(ids, (QStringList{"aurora", "ember", "tidepool"}));
    QCOMPARE(names, (QStringList{"Aurora", "Ember", "Tidepool"}));
}

void TestSkinPainter::layersOfAbsurdSizeAreNotDecoded()
{
    // A white layer of 12000 by 12000 pixels over a red one: a few KiB on disk, seconds to decode.
    auto redUnderWhite = [this](const QString &id, int whiteSide) {
        writeSkin(id, QJsonArray{layer("red.png", "background"), layer("white.png", "midground")});
        writeImage(id, "red.png", paintedArea(QRect(0, 0, 512, 512), Qt::red));
        QFile white(m_skins + "/" + id + "/white.png");
        QVERIFY(white.open(QIODevice::WriteOnly));
        white.write(HostileFiles::blankPng(whiteSide, whiteSide));
        white.close();
        QCOMPARE(QImageReader(white.fileName()).size(), QSize(whiteSide, whiteSide));
    };
    redUnderWhite("huge", 12000);

    QTest::ignoreMessage(QtInfoMsg, QRegularExpression("^No picture of the icon .*white\\.png"));
    const QImage icon = compose("huge", 0);
    QCOMPARE_COLOR(pointColor(icon, 256, 256), QColor(Qt::red), 0);
    // Refused once, then never decoded or drawn again until the file changes.
    const int requests = DecodedIcons::shared()->requestCount();
    QCOMPARE_COLOR(pointColor(compose("huge", 1), 470, 300), QColor(Qt::red), 0);
    QCOMPARE(DecodedIcons::shared()->requestCount(), requests);

    // A layer within the bound is still drawn.
    redUnderWhite("large", 2048);
    QCOMPARE_COLOR(pointColor(compose("large", 0), 256, 256), QColor(Qt::white), 0);
}

// What is kept of a skin's layers between icons must follow the files: a layer rewritten by the user
// (after its file has settled) shows on the next icon.
void TestSkinPainter::aChangedLayerIsDrawnAgain()
{
    writeSkin("changing", QJsonArray{layer("back.png", "background"), layer("cover.png", "foreground", 0.9)});
    const QString back = m_skins + "/changing/back.png";
    const QString cover = m_skins + "/changing/cover.png";
    const auto settled = [](const QString &path) { return FileStamp::of(path).settledAt(FileStamp::nowNanoseconds()); };
    for (const QColor &color : {QColor(Qt::yellow), QColor(Qt::cyan)}) {
        writeImage("changing", "back.png", paintedArea(QRect(0, 0, 512, 512), color == Qt::yellow ? Qt::red : Qt::blue));
        writeImage("changing", "cover.png", paintedArea(QRect(300, 40, 100, 100), color));
        QTRY_VERIFY_WITH_TIMEOUT(settled(back) && settled(cover), 10000);
        for (int round = 0; round < 2; ++round) { // drawn, then laid from what was kept
            const QImage icon = compose("changing", 4);
            // The cover, at 0.9 of 0.9, over the second tile.
            const QColor under = kItemColors.at(1);
            const QColor expected(qRound(color.red() * 0.81 + under.red() * 0.19), qRound(color.green() * 0.81 + under.green() * 0.19),
                                  qRound(color.blue() * 0.81 + under.blue() * 0.19));
            QCOMPARE_COLOR(pointColor(icon, 350, 420), expected, 3);
            QCOMPARE_COLOR(pointColor(icon, 470, 300), color == Qt::yellow ? QColor(Qt::red) : QColor(Qt::blue), 0);
        }
    }
}

KESTROWAN_TEST_MAIN(TestSkinPainter)
#include "tst_skinpainter.moc"
