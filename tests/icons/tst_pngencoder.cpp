#include "Kestrowan/groups/MirrorFolders.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/fake/FakeWorkspace.h"
#include "Platform/codecs/PixelDeflate.h"
#include "Platform/codecs/PngEncoder.h"
#include "Platform/codecs/PngReader.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/TestMain.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QtEndian>

#include <libdeflate.h>

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

struct Chunk {
    QByteArray type;
    QByteArray data;
};

// The chunks of a PNG file, in order; empty when the file's frame is broken.
QList<Chunk> chunksOf(const QByteArray &file)
{
    QList<Chunk> chunks;
    if (!file.startsWith("\x89PNG\r\n\x1a\n"))
        return {};
    qsizetype at = 8;
    while (at + 12 <= file.size()) {
        const quint32 length = qFromBigEndian<quint32>(file.constData() + at);
        if (length > quint32(file.size() - at - 12))
            return {};
        chunks.append(Chunk{file.mid(at + 4, 4), file.mid(at + 8, length)});
        at += 12 + qsizetype(length);
    }
    return at == file.size() ? chunks : QList<Chunk>{};
}

// A folder icon's kind of picture: a soft background, a rounded plate, and a corner of its own
// that no two of them share.
QImage distinctIcon(int seed)
{
    QImage icon(512, 512, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 0, 512);
    background.setColorAt(0, QColor(90, 140, 230));
    background.setColorAt(1, QColor(30, 60, 150));
    painter.setBrush(background);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(40, 40, 432, 432), 96, 96);
    QRandomGenerator random{quint32(seed)};
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x)
            icon.setPixel(192 + x, 192 + y, qRgb(int(random.bounded(256)), int(random.bounded(256)), int(random.bounded(256))));
    }
    return icon;
}

// Rows as a PNG file holds them, of one of the shapes the compressor treats apart: noise (nothing
// but literals), one colour, runs along the row of every length, rows that repeat the one above
// straight or shifted by a pixel, gradients along both diagonals, and all of them mixed.
QByteArray shapedRows(int shape, int width, int height, int bytesPerPixel, quint32 seed)
{
    QRandomGenerator random(seed);
    const qsizetype rowBytes = 1 + qsizetype(width) * bytesPerPixel;
    QByteArray rows(rowBytes * height, '\0');
    const auto pixelAt = [&](int x, int y) { return rows.data() + qsizetype(y) * rowBytes + 1 + qsizetype(x) * bytesPerPixel; };
    const auto setPixel = [&](int x, int y, quint32 value) {
        for (int b = 0; b < bytesPerPixel; ++b)
            pixelAt(x, y)[b] = char(value >> (8 * b));
    };
    for (int y = 0; y < height; ++y) {
        rows[qsizetype(y) * rowBytes] = char(random.bounded(5));
        const int kind = shape == 6 ? int(random.bounded(6)) : shape;
        const int shift = int(random.bounded(3)) - 1;
        quint32 colour = random.generate();
        int runLeft = 0;
        for (int x = 0; x < width; ++x) {
            switch (kind) {
            case 0: setPixel(x, y, random.generate()); break;
            case 1: setPixel(x, y, 0x80402010u); break;
            case 2:
                if (runLeft-- <= 0) {
                    colour = random.generate();
                    runLeft = int(random.bounded(300));
                }
                setPixel(x, y, colour);
                break;
            case 3:
                if (y > 0 && x + shift >= 0 && x + shift < width && random.bounded(50) != 0)
                    std::memcpy(pixelAt(x, y), pixelAt(x + shift, y - 1), size_t(bytesPerPixel));
                else
                    setPixel(x, y, random.generate());
                break;
            case 4: setPixel(x, y, quint32(x + y) * 0x01020305u); break;
            default: setPixel(x, y, quint32(x - y + 4096) * 0x03050709u); break;
            }
        }
    }
    return rows;
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
    void theFileIsFastToWriteAndSplitIntoChunks();
    void aBatchKeepsNoMoreEncodedIconsThanItsLimitHolds();
    void everyShapeOfRowsComesBackExactly();
    void aRunBeyondWhatAnIntHoldsIsWrittenWhole();
    void theDocksReaderReadsAnIconAsQtDoes();

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

// Unfiltered rows at zlib's fastest level, the data split over chunks of a few kilobytes so that a
// reader can stream it, and every chunk's checksum right.
void TestPngEncoder::theFileIsFastToWriteAndSplitIntoChunks()
{
    for (const QImage &image : {distinctIcon(1), everyAlpha(QImage::Format_RGB32), distinctIcon(2).scaled(1024, 1024)}) {
        const QByteArray file = PngEncoder::encode(image);
        const QList<Chunk> chunks = chunksOf(file);
        QVERIFY(!chunks.isEmpty());
        QCOMPARE(chunks.first().type, QByteArray("IHDR"));
        QCOMPARE(chunks.last().type, QByteArray("IEND"));
        QByteArray compressed;
        int dataChunks = 0;
        for (const Chunk &chunk : chunks) {
            if (chunk.type != "IDAT")
                continue;
            ++dataChunks;
            QVERIFY2(chunk.data.size() <= 64 * 1024, qPrintable(QString::number(chunk.data.size())));
            compressed += chunk.data;
        }
        QVERIFY2(dataChunks > 1, qPrintable(QStringLiteral("%1 bytes of data in one chunk").arg(compressed.size())));
        // zlib's header names the level: 0 in its top two bits is the fastest.
        QCOMPARE(quint8(compressed.at(1)) >> 6, 0);
        const int bytesPerPixel = image.hasAlphaChannel() ? 4 : 3;
        QByteArray framed(4, Qt::Uninitialized);
        qToBigEndian<quint32>(quint32((image.width() * bytesPerPixel + 1) * image.height()), framed.data());
        const QByteArray rows = qUncompress(framed + compressed);
        QCOMPARE(rows.size(), qsizetype(image.width() * bytesPerPixel + 1) * image.height());
        for (int y = 0; y < image.height(); ++y)
            QVERIFY2(rows.at(qsizetype(y) * (image.width() * bytesPerPixel + 1)) == 0, qPrintable(QStringLiteral("row %1 is filtered").arg(y)));
        QVERIFY(readBack(file) == readBack(writtenByQt(image)));
    }
}

// A Sync All of many groups keeps the icons it encoded, for groups that show the same picture, up
// to a limit on the memory they hold, not on the size of the files.
void TestPngEncoder::aBatchKeepsNoMoreEncodedIconsThanItsLimitHolds()
{
    const auto queue = std::make_shared<IconWriteQueue>();
    // Until it has kept nothing more for a while: it is full.
    int seed = 0;
    for (int unkept = 0; unkept < 5;) {
        const qsizetype before = queue->keptBytes();
        const QImage icon = distinctIcon(++seed);
        QVERIFY(!queue->iconFileBytes(icon, IconWriteQueue::pixelKey(icon)).isEmpty());
        unkept = queue->keptBytes() == before ? unkept + 1 : 0;
        QVERIFY2(queue->keptBytes() <= IconWriteQueue::keptBytesLimit,
                 qPrintable(QStringLiteral("%1 bytes held after %2 icons").arg(queue->keptBytes()).arg(seed)));
    }
    // Most of what it may hold is used, and a kept icon comes back the same, many times over.
    QVERIFY(queue->keptBytes() > IconWriteQueue::keptBytesLimit * 3 / 4);
    for (int again = 1; again <= 20; ++again) {
        const QImage icon = distinctIcon(again);
        QCOMPARE(queue->iconFileBytes(icon, IconWriteQueue::pixelKey(icon)), PngEncoder::encode(icon));
    }
}

// The compressed rows are exactly the rows, read by zlib (which refuses any code that is not
// complete) and by libdeflate, for every shape, for rows of one pixel up to rows too long for a
// match from the row above, with and without alpha.
void TestPngEncoder::everyShapeOfRowsComesBackExactly()
{
    const QList<QSize> sizes{{1, 1}, {1, 7}, {2, 3}, {3, 1}, {64, 64}, {65, 17}, {257, 9}, {8190, 3}, {8191, 3}, {10000, 2}};
    quint32 seed = 1;
    for (const int bytesPerPixel : {3, 4}) {
        for (const QSize &size : sizes) {
            for (int shape = 0; shape <= 6; ++shape, ++seed) {
                const QByteArray rows = shapedRows(shape, size.width(), size.height(), bytesPerPixel, seed);
                const QString what = QStringLiteral("shape %1, %2x%3, %4 bytes a pixel").arg(shape).arg(size.width()).arg(size.height()).arg(bytesPerPixel);
                const std::optional<QByteArray> stream = PixelDeflate::compress(rows, size.width(), size.height(), bytesPerPixel);
                QVERIFY2(stream, qPrintable(what));
                QByteArray framed(4, Qt::Uninitialized);
                qToBigEndian<quint32>(quint32(rows.size()), framed.data());
                QVERIFY2(qUncompress(framed + *stream) == rows, qPrintable(what));
                QByteArray inflated(rows.size(), Qt::Uninitialized);
                libdeflate_decompressor *decompressor = libdeflate_alloc_decompressor();
                size_t inflatedBytes = 0;
                const libdeflate_result result = libdeflate_zlib_decompress(decompressor, stream->constData(), size_t(stream->size()),
                                                                            inflated.data(), size_t(inflated.size()), &inflatedBytes);
                libdeflate_free_decompressor(decompressor);
                QVERIFY2(result == LIBDEFLATE_SUCCESS && inflatedBytes == size_t(rows.size()) && inflated == rows, qPrintable(what));
                // Runs cost little: one colour takes a few bytes a row at the most.
                if (shape == 1)
                    QVERIFY2(stream->size() < 64 + 8 * qsizetype(size.height()) + rows.size() / 64, qPrintable(what));
            }
        }
    }
    // Refused rather than read past: rows of another size than said, and pixels of another width.
    QVERIFY(!PixelDeflate::compress(QByteArray(10, '\0'), 2, 2, 4));
    QVERIFY(!PixelDeflate::compress(QByteArray(18, '\0'), 2, 2, 2));
    QVERIFY(!PixelDeflate::compress(QByteArray(), 0, 0, 4));
}

// A run of more bytes than an int holds (a row of 750 million pixels equal to the row above) is
// written as whole matches, every byte of it, none longer than deflate allows or shorter than 3.
void TestPngEncoder::aRunBeyondWhatAnIntHoldsIsWrittenWhole()
{
    for (const qsizetype bytes : {qsizetype(3), qsizetype(258), qsizetype(260), qsizetype(261), qsizetype(750000000) * 4,
                                  qsizetype(536870912) * 4 + 2}) {
        qsizetype written = 0;
        bool fits = true;
        PixelDeflate::forEachMatchPiece(bytes, [&](int piece) {
            written += piece;
            fits = fits && piece >= 3 && piece <= 258;
        });
        QVERIFY2(fits, qPrintable(QString::number(bytes)));
        QCOMPARE(written, bytes);
    }
}

// The Dock's reader reads an icon file as Qt does.
void TestPngEncoder::theDocksReaderReadsAnIconAsQtDoes()
{
    const QImage icon = distinctIcon(3);
    const std::optional<QImage> read = PngReader::read(PngEncoder::encode(icon), qint64(4096) * 4096);
    QVERIFY(read);
    QVERIFY(*read == readBack(PngEncoder::encode(icon)).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

KESTROWAN_TEST_MAIN(TestPngEncoder)
#include "tst_pngencoder.moc"
