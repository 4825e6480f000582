// Renders every icon style with four items, and a sheet of item previews, as PNG files under
// <build>/icon-pictures, so that a person can look at them.
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/SymbolImage.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTemporaryDir>

using Style = AppGroup::IconStyle;

namespace {

// An application icon with a white symbol on it.
QIcon symbolAppIcon(const QColor &top, const QColor &bottom, const QString &symbolName)
{
    return drawnAppIcon(top, bottom, [&symbolName](QPainter &p) {
        if (const auto symbol = SymbolImage::named(symbolName)) {
            const SymbolImage white = symbol->configured(240, SymbolImage::Weight::Semibold, Qt::white);
            const QSizeF size = white.size();
            white.render(p, QRectF(256 - size.width() / 2, 256 - size.height() / 2, size.width(), size.height()));
        }
    });
}

QImage landscapePicture()
{
    QImage image(640, 420, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 420);
    sky.setColorAt(0, QColor(255, 170, 110));
    sky.setColorAt(0.6, QColor(250, 220, 160));
    p.fillRect(image.rect(), sky);
    p.setBrush(QColor(255, 240, 200));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(430, 190), 55, 55);
    QPainterPath hills;
    hills.moveTo(0, 300);
    hills.cubicTo(160, 230, 300, 330, 640, 260);
    hills.lineTo(640, 420);
    hills.lineTo(0, 420);
    p.fillPath(hills, QColor(70, 120, 90));
    QPainterPath near;
    near.moveTo(0, 360);
    near.cubicTo(200, 320, 420, 400, 640, 340);
    near.lineTo(640, 420);
    near.lineTo(0, 420);
    p.fillPath(near, QColor(40, 85, 65));
    return image;
}

void writeDocument(const QString &path)
{
    writeReportDocument(path, [](QPainter &p, int unit) {
        p.fillRect(QRect(unit * 2, unit * 6, unit * 10, unit), QColor(60, 60, 60));
        for (int line = 0; line < 14; ++line)
            p.fillRect(QRect(unit * 2, unit * (9 + line * 2), unit * (line % 4 == 3 ? 9 : 16), unit / 2), QColor(150, 150, 150));
    });
}

QString outputFolder()
{
    return QStringLiteral(KESTROWAN_BINARY_DIR "/icon-pictures");
}

} // namespace

class TestIconPictures : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyStyleWithFourItems();
    void previewSheet();
    void symbolSheet();

private:
    AppItem item(const QString &path) const
    {
        return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
    }
    QTemporaryDir m_dir;
    QList<AppItem> m_items;
};

void TestIconPictures::initTestCase()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    FakeWorkspace &workspace = installFakeWorkspace();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir().mkpath(outputFolder()));
    workspace.fileIcons.insert(QStringLiteral("/Applications/Music.app"), symbolAppIcon(QColor(255, 94, 120), QColor(214, 40, 90), "music.note"));
    workspace.fileIcons.insert(QStringLiteral("/Applications/Code.app"), symbolAppIcon(QColor(70, 160, 255), QColor(30, 90, 220), "curlybraces"));
    const QString picture = m_dir.filePath("Evening.jpg");
    QVERIFY(landscapePicture().save(picture, "jpg", 92));
    const QString document = m_dir.filePath("Report.pdf");
    writeDocument(document);
    m_items = {item("/Applications/Music.app"), item("/Applications/Code.app"), item(picture), item(document)};
}

void TestIconPictures::everyStyleWithFourItems()
{
    const SkinManager manager(m_dir.filePath("Skins"), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
    struct Picture {
        QString name;
        Style style;
        QString skinId;
    };
    const QList<Picture> pictures{{"shelf", Style::Shelf, {}},        {"glass", Style::Glass, {}},
                                  {"gradient", Style::Gradient, {}},  {"minimal", Style::Minimal, {}},
                                  {"pelko", Style::Pelko, {}},        {"skin-aurora", Style::Skin, "aurora"},
                                  {"skin-ember", Style::Skin, "ember"}, {"skin-tidepool", Style::Skin, "tidepool"}};
    QImage sheet(4 * 272 + 16, 2 * 272 + 16, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(236, 236, 240));
    QPainter sheetPainter(&sheet);
    sheetPainter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int i = 0; i < pictures.size(); ++i) {
        const Picture &picture = pictures.at(i);
        const auto skin = picture.skinId.isEmpty() ? std::nullopt : manager.skinWithID(picture.skinId);
        QVERIFY(picture.skinId.isEmpty() || skin.has_value());
        const QImage icon = settledGroupIcon(m_items, picture.style, skin, &manager);
        QCOMPARE(icon.size(), QSize(512, 512));
        const QString path = outputFolder() + "/group-icon-" + picture.name + ".png";
        QVERIFY(icon.save(path, "png"));
        sheetPainter.drawImage(QRectF(16 + (i % 4) * 272, 16 + (i / 4) * 272, 256, 256), icon);
    }
    QVERIFY(settledGroupIcon({}, Style::Shelf).save(outputFolder() + "/group-icon-shelf-empty.png", "png"));
    sheetPainter.end();
    QVERIFY(sheet.save(outputFolder() + "/group-icons.png", "png"));
}

void TestIconPictures::previewSheet()
{
    QVERIFY(QDir().mkpath(m_dir.filePath("Projects")));
    const QStringList names{"notes.txt", "archive.zip", "main.cpp", "page.html", "song.mp3", "movie.mkv", "data"};
    for (const QString &name : names) {
        QFile file(m_dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QList<AppItem> previews = m_items;
    previews.append(item(m_dir.filePath("Projects")));
    previews.append(item(QStringLiteral("https://example.invalid/")));
    for (const QString &name : names)
        previews.append(item(m_dir.filePath(name)));
    const int columns = 7;
    const int rows = int((previews.size() + columns - 1) / columns);
    // Drawn at two pixels per point, as the previews are.
    QImage sheet(columns * 272 + 16, rows * 272 + 16, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(250, 250, 252));
    QPainter p(&sheet);
    for (int i = 0; i < previews.size(); ++i) {
        const QImage preview = settledThumbnail(previews.at(i));
        QCOMPARE(preview.deviceIndependentSize(), QSizeF(128, 128));
        p.drawImage(QRectF(16 + (i % columns) * 272, 16 + (i / columns) * 272, 256, 256), preview);
    }
    p.end();
    QVERIFY(sheet.save(outputFolder() + "/item-previews.png", "png"));
}

void TestIconPictures::symbolSheet()
{
    const QStringList files = QDir(SymbolImage::symbolsFolder()).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    const int columns = 8;
    const int cell = 128; // pixels: 64 points at two pixels per point
    QImage sheet(columns * cell, int((files.size() + columns - 1) / columns) * cell, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < files.size(); ++i) {
        const QString name = files.at(i).chopped(4);
        const auto symbol = SymbolImage::named(name);
        QVERIFY2(symbol.has_value(), qPrintable(name));
        // Every drawing is about one point size across, as the text beside it would be.
        const SymbolImage configured = symbol->configured(28, SymbolImage::Weight::Regular, QColor(68, 59, 50));
        const QSizeF size = configured.size() * 2;
        QVERIFY2(size.width() > 28 && size.width() < 2 * 28 * 1.6 && size.height() < 2 * 28 * 1.2, qPrintable(name));
        const QPointF centre((i % columns + 0.5) * cell, (i / columns + 0.42) * cell);
        configured.render(p, QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size));
        QFont font;
        font.setPixelSize(11);
        p.setFont(font);
        p.setPen(QColor(120, 120, 120));
        p.drawText(QRectF((i % columns) * cell, (i / columns + 0.78) * cell, cell, 20), Qt::AlignHCenter, name);
    }
    p.end();
    QVERIFY(sheet.save(outputFolder() + "/symbols.png", "png"));
}

KESTROWAN_TEST_MAIN(TestIconPictures)
#include "tst_iconpictures.moc"
