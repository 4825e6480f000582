#include "Kestrowan/groups/MirrorFolders.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/PngEncoder.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/TestMain.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>

using Style = AppGroup::IconStyle;

namespace {

QByteArray writtenByQt(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    writer.setQuality(80);
    writer.write(image);
    return bytes;
}

// What a reader of the file gets: the image as decoded, with its format, colours and resolution.
QImage readBack(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (reader.format() != "png")
        return {};
    return reader.read();
}

// Every colour with every alpha, in the premultiplied form a painter leaves, plus noise that no
// filter or compressor can lean on.
QImage everyAlpha(QImage::Format format)
{
    QImage image(256, 64, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(int(random.bounded(256)), int(random.bounded(256)), int(random.bounded(256)), x));
    }
    return image.convertToFormat(format);
}

} // namespace

class TestPngEncoder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readsBackAsWhatQtsWriterGives_data();
    void readsBackAsWhatQtsWriterGives();
    void groupIconsReadBackPixelForPixel();
    void imagesWithMoreToSayGoThroughQt();

private:
    FakeWorkspace *m_workspace = nullptr;
};

void TestPngEncoder::initTestCase()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    m_workspace = &installFakeWorkspace();
}

void TestPngEncoder::readsBackAsWhatQtsWriterGives_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addRow("premultiplied") << everyAlpha(QImage::Format_ARGB32_Premultiplied);
    QTest::addRow("straight") << everyAlpha(QImage::Format_ARGB32);
    QTest::addRow("rgba") << everyAlpha(QImage::Format_RGBA8888);
    QTest::addRow("rgba premultiplied") << everyAlpha(QImage::Format_RGBA8888_Premultiplied);
    QTest::addRow("opaque") << everyAlpha(QImage::Format_RGB32);
    QTest::addRow("rgbx") << everyAlpha(QImage::Format_RGBX8888);
    QImage dense = everyAlpha(QImage::Format_ARGB32_Premultiplied);
    dense.setDotsPerMeterX(5906);
    dense.setDotsPerMeterY(3937);
    QTest::addRow("resolution") << dense;
    QTest::addRow("one pixel") << QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
}

void TestPngEncoder::readsBackAsWhatQtsWriterGives()
{
    QFETCH(QImage, image);
    const QImage expected = readBack(writtenByQt(image));
    const QImage actual = readBack(PngEncoder::encode(image));
    QVERIFY(!expected.isNull());
    QVERIFY2(!actual.isNull(), "not a PNG file");
    QCOMPARE(actual.format(), expected.format());
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(actual.dotsPerMeterX(), expected.dotsPerMeterX());
    QCOMPARE(actual.dotsPerMeterY(), expected.dotsPerMeterY());
    QVERIFY(actual == expected);
}

// The folder icons as a sync writes them: every style, the same pixels as Qt's writer would have
// stored, in a file of much the same size.
void TestPngEncoder::groupIconsReadBackPixelForPixel()
{
    QList<AppItem> items;
    const QList<QColor> colors{QColor(220, 30, 30), QColor(30, 200, 60), QColor(40, 70, 230), QColor(240, 200, 20)};
    for (int i = 0; i < colors.size(); ++i) {
        const QString path = QStringLiteral("/Applications/Item%1.app").arg(i);
        m_workspace->fileIcons.insert(path, drawnAppIcon(colors.at(i), colors.at(i).darker(160), [](QPainter &) {}));
        items.append(AppItem{QUuid::createUuid(), QStringLiteral("com.example.item%1").arg(i), QStringLiteral("Item"), path});
    }
    for (Style style : {Style::Shelf, Style::Gradient, Style::Minimal, Style::Pelko}) {
        const QImage icon = IconComposer::composeGroupIcon(items, style);
        const QByteArray qtBytes = writtenByQt(icon);
        const QByteArray bytes = MirrorFolders::iconFileBytes(icon);
        const QImage expected = readBack(qtBytes);
        const QImage actual = readBack(bytes);
        QVERIFY(!actual.isNull());
        QVERIFY2(actual == expected, qPrintable(iconStyleRawValue(style)));
        QVERIFY2(bytes.size() < qtBytes.size() * 3 / 2, qPrintable(QStringLiteral("%1 bytes where Qt writes %2").arg(bytes.size()).arg(qtBytes.size())));
        // The same pixels always give the same file, so an unchanged icon is never written again.
        QCOMPARE(MirrorFolders::iconFileBytes(icon.copy()), bytes);
    }
}

void TestPngEncoder::imagesWithMoreToSayGoThroughQt()
{
    QImage described = everyAlpha(QImage::Format_ARGB32_Premultiplied);
    described.setText(QStringLiteral("Title"), QStringLiteral("Work"));
    QCOMPARE(PngEncoder::encode(described), writtenByQt(described));
    QCOMPARE(readBack(PngEncoder::encode(described)).text(QStringLiteral("Title")), QStringLiteral("Work"));

    QImage profiled = everyAlpha(QImage::Format_ARGB32_Premultiplied);
    profiled.setColorSpace(QColorSpace::DisplayP3);
    QCOMPARE(PngEncoder::encode(profiled), writtenByQt(profiled));

    QImage indexed = everyAlpha(QImage::Format_RGB32).convertToFormat(QImage::Format_Indexed8);
    QCOMPARE(PngEncoder::encode(indexed), writtenByQt(indexed));
    QImage grey = everyAlpha(QImage::Format_RGB32).convertToFormat(QImage::Format_Grayscale8);
    QCOMPARE(PngEncoder::encode(grey), writtenByQt(grey));
}

KESTROWAN_TEST_MAIN(TestPngEncoder)
#include "tst_pngencoder.moc"
