// An icon is read at the size it is drawn, whatever its file says: a PNG file of a few dozen
// kilobytes that names a picture of tens of millions of pixels costs the real icon helper a few
// times the drawn picture, not the picture the file names. Each file goes to a helper of its own,
// as often as it takes to show the bound holds every time.
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/DesktopThumbnailRenderer.h"
#include "Platform/linux/HelperIconDecoder.h"
#include "Platform/linux/HelperPreviewRenderer.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

constexpr int kDeadlineMs = 120000;
// The sides an application icon is asked for on a display of two device pixels a point.
const QList<int> kSides{256, 128};
#if defined(__SANITIZE_ADDRESS__)
#define KESTROWAN_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTROWAN_TEST_UNDER_ASAN 1
#endif
#endif

// What a helper may grow by for one icon beyond what drawing a small one takes: a few times the
// 256-pixel picture (256 KB) and the file read whole, with the allocator's slack. A checked helper
// keeps freed blocks in quarantine and pads every block, which takes a few times more; a whole
// decode of these files would still take a hundred times that.
#if defined(KESTROWAN_TEST_UNDER_ASAN)
constexpr qint64 kGrowthBoundKiB = 24 * 1024;
#else
constexpr qint64 kGrowthBoundKiB = 6 * 1024;
#endif

struct Drawn {
    QList<QImage> pictures;
    qint64 helperPeakKiB = -1;
};

// Draws the file in a helper of its own; the peak is the largest any helper of this test reached.
Drawn drawnByHelper(const QString &path)
{
    HelperIconDecoder decoder(ChildProcess::iconHelperProgram());
    QSignalSpy decoded(&decoder, &IconDecoder::decoded);
    decoder.decode({{path, kSides, IconDecoder::Fit::Within}});
    Drawn drawn;
    if (!decoded.wait(kDeadlineMs) && decoded.isEmpty())
        return drawn;
    drawn.pictures = decoded.first().at(1).value<QList<QImage>>();
    // The helper ends once its input does; its peak counts from the moment it is collected.
    const bool ended = QTest::qWaitFor([&decoder] { return decoder.runningCount() == 0; }, kDeadlineMs);
    drawn.helperPeakKiB = ended ? ProcessFigures::childrenPeakKiB() : -1;
    return drawn;
}

// The preview of a picture file, drawn by the icon helper as the program asks for it.
Drawn previewedByHelper(const QString &path)
{
    HelperPreviewRenderer renderer(ChildProcess::helperProgram(), kDeadlineMs, 1, ChildProcess::iconHelperProgram());
    QSignalSpy rendered(&renderer, &PreviewRenderer::rendered);
    renderer.render(PreviewRenderer::Kind::Picture, path);
    Drawn drawn;
    if (!rendered.wait(kDeadlineMs) && rendered.isEmpty())
        return drawn;
    const QImage picture = rendered.first().at(1).value<QImage>();
    if (!picture.isNull())
        drawn.pictures.append(picture);
    const bool ended = QTest::qWaitFor([&renderer] { return renderer.runningCount() == 0; }, kDeadlineMs);
    drawn.helperPeakKiB = ended ? ProcessFigures::childrenPeakKiB() : -1;
    return drawn;
}

// A document's thumbnail, drawn by the thumbnail helper as the program asks for it.
Drawn thumbnailByHelper(const QString &path)
{
    DesktopThumbnailRenderer renderer({}, kDeadlineMs);
    const QImage picture = renderer.renderWithQt(path, QSize(256, 256));
    Drawn drawn;
    if (!picture.isNull())
        drawn.pictures.append(picture);
    // Collected before the renderer answers.
    drawn.helperPeakKiB = ProcessFigures::childrenPeakKiB();
    return drawn;
}

} // namespace

class TestIconHelperMemory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_folder.isValid()); }

    void aVastPictureCostsTheHelperAFewIconSquares_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("compressedAtMostKiB");
        QTest::addColumn<int>("runs");
        // Whether it must be drawn (a reader scales it as it reads), and the colour of its middle.
        QTest::addColumn<bool>("mustDraw");
        QTest::addColumn<uint>("middle");
        const uint black = qRgb(0, 0, 0);
        const uint clear = 0;
        QTest::newRow("grey 8192") << HostileFiles::darkPng(8192, 8192, 1) << 70 << 3 << true << black;
        QTest::newRow("grey 6000") << HostileFiles::darkPng(6000, 6000, 1) << 40 << 3 << true << black;
        QTest::newRow("RGBA 5792") << HostileFiles::darkPng(5792, 5792, 4) << 140 << 3 << true << clear;
        QTest::newRow("RGBA 5793") << HostileFiles::darkPng(5793, 5793, 4) << 140 << 3 << true << clear;
        // Every other kind of PNG file: colour type, bits a sample, interlaced or not.
        constexpr int grey = 0, rgb = 2, palette = 3, greyAlpha = 4, rgba = 6;
        const struct {
            const char *name;
            int side, colourType, bitDepth;
            bool interlaced;
            uint middle;
        } kinds[] = {
            {"grey 16-bit 4096", 4096, grey, 16, false, black},
            {"grey 4-bit 5792", 5792, grey, 4, false, black},
            {"grey 1-bit 5792", 5792, grey, 1, false, black},
            {"grey with alpha 8-bit 5792", 5792, greyAlpha, 8, false, clear},
            {"grey with alpha 16-bit 4096", 4096, greyAlpha, 16, false, clear},
            {"RGB 8-bit 5792", 5792, rgb, 8, false, black},
            {"RGB 16-bit 4096", 4096, rgb, 16, false, black},
            {"RGBA 16-bit 4096", 4096, rgba, 16, false, clear},
            {"palette 8-bit 5792", 5792, palette, 8, false, black},
            {"palette 4-bit 5792", 5792, palette, 4, false, black},
            {"palette 1-bit 5792", 5792, palette, 1, false, black},
            {"interlaced RGBA 4096", 4096, rgba, 8, true, clear},
            {"interlaced grey 5792", 5792, grey, 8, true, black},
            {"interlaced palette 1-bit 5792", 5792, palette, 1, true, black},
        };
        for (const auto &kind : kinds)
            QTest::newRow(kind.name) << HostileFiles::zeroPng(kind.side, kind.side, kind.colourType, kind.bitDepth, kind.interlaced)
                                     << 600 << 1 << true << kind.middle;
        // The other formats: a JPEG file that is not progressive is scaled as it is read, down to
        // an eighth of its sides, and refused beyond that; a progressive one, and the kinds read
        // whole, are refused beyond a few icon squares.
        QTest::newRow("JPEG 4096") << HostileFiles::greyBaselineJpeg(4096) << 300 << 1 << true << qRgb(128, 128, 128);
        QTest::newRow("JPEG 8192") << HostileFiles::greyBaselineJpeg(8192) << 300 << 1 << false << qRgb(128, 128, 128);
        QTest::newRow("progressive JPEG 4096") << HostileFiles::progressiveJpegHeader(4096) << 1 << 1 << false << black;
        QTest::newRow("GIF 2048") << HostileFiles::emptyGif(2048, 2048) << 1 << 1 << false << black;
        const QByteArray bitmapRows(2048 * 2048 / 8, '\0');
        QTest::newRow("PBM 2048") << QByteArray("P4\n2048 2048\n") + bitmapRows << 600 << 1 << false << black;
        QTest::newRow("BMP 2048") << HostileFiles::blackBmp(2048) << 600 << 1 << false << black;
        QTest::newRow("SVGZ of 1 KB") << HostileFiles::gzippedSvgOf(1) << 2 << 1 << true << qRgb(0, 0, 0);
        QTest::newRow("SVGZ of 600 MB") << HostileFiles::gzippedSvgOf(600LL << 20) << 800 << 1 << false << black;
        // The same file with a trailer that says it expands to a kilobyte.
        QByteArray hiding = HostileFiles::gzippedSvgOf(600LL << 20);
        qToLittleEndian<quint32>(1024, hiding.data() + hiding.size() - 4);
        QTest::newRow("SVGZ of 600 MB that names 1 KB") << hiding << 800 << 1 << false << black;
        QTest::newRow("XPM 1024") << HostileFiles::blackXpm(1024) << 1200 << 1 << false << black;
        // A chunk that names 768 MB in a file of 141 bytes: nothing of it is allocated.
        QTest::newRow("PNG text chunk past the end") << HostileFiles::pngWithChunkPastTheEnd("tEXt") << 1 << 2 << false << black;
        QTest::newRow("PNG compressed text chunk past the end") << HostileFiles::pngWithChunkPastTheEnd("zTXt") << 1 << 2 << false << black;
        QTest::newRow("ICO holding such a PNG") << HostileFiles::iconFileHolding(HostileFiles::pngWithChunkPastTheEnd("tEXt")) << 1 << 1
                                                << false << black;
    }

    void aVastPictureCostsTheHelperAFewIconSquares()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, compressedAtMostKiB);
        QFETCH(int, runs);
        QFETCH(bool, mustDraw);
        QFETCH(uint, middle);
        QVERIFY(!bytes.isEmpty());
        measureBaseline();
        QVERIFY(m_baselineKiB > 0);
        QVERIFY2(bytes.size() <= compressedAtMostKiB * 1024, qPrintable(QString::number(bytes.size())));
        const QString path = m_folder.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
        writeTestFile(path, bytes);
        for (int run = 0; run < runs; ++run) {
            const Drawn drawn = drawnByHelper(path);
            // Drawn, at the sides asked for, as the square it is; or refused.
            QVERIFY(drawn.pictures.isEmpty() || drawn.pictures.size() == kSides.size());
            QVERIFY2(!mustDraw || !drawn.pictures.isEmpty(), "refused");
            for (qsizetype i = 0; i < drawn.pictures.size(); ++i) {
                QCOMPARE(drawn.pictures.at(i).size(), QSize(kSides.at(i), kSides.at(i)));
                QCOMPARE(drawn.pictures.at(i).pixel(kSides.at(i) / 2, kSides.at(i) / 2), middle);
            }
            qInfo("%s, %lld bytes, %s: helper peak %lld KiB, one small icon %lld KiB", QTest::currentDataTag(), qint64(bytes.size()),
                  drawn.pictures.isEmpty() ? "refused" : "drawn", drawn.helperPeakKiB, m_baselineKiB);
            QVERIFY(drawn.helperPeakKiB > 0);
            QVERIFY2(drawn.helperPeakKiB - m_baselineKiB <= kGrowthBoundKiB,
                     qPrintable(QStringLiteral("the helper grew by %1 KiB").arg(drawn.helperPeakKiB - m_baselineKiB)));
        }
    }

    // The preview of a picture file is drawn by the same helper, a few times as large as an icon at
    // most: the same kinds cost it no more.
    void aVastPicturesPreviewCostsTheHelperAFewSquares_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("mustDraw");
        QTest::newRow("grey 8-bit 5792") << HostileFiles::zeroPng(5792, 5792, 0, 8) << true;
        QTest::newRow("palette 1-bit 5792") << HostileFiles::zeroPng(5792, 5792, 3, 1) << true;
        QTest::newRow("interlaced RGBA 4096") << HostileFiles::zeroPng(4096, 4096, 6, 8, true) << true;
        QTest::newRow("progressive JPEG 4096") << HostileFiles::progressiveJpegHeader(4096) << false;
        QTest::newRow("GIF 2048") << HostileFiles::emptyGif(2048, 2048) << false;
        QTest::newRow("SVGZ of 600 MB") << HostileFiles::gzippedSvgOf(600LL << 20) << false;
        QTest::newRow("PNG text chunk past the end") << HostileFiles::pngWithChunkPastTheEnd("tEXt") << false;
        QTest::newRow("PNG compressed text chunk past the end") << HostileFiles::pngWithChunkPastTheEnd("zTXt") << false;
    }

    void aVastPicturesPreviewCostsTheHelperAFewSquares()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, mustDraw);
        measureBaseline();
        QVERIFY(m_baselineKiB > 0);
        const QString path = m_folder.filePath(QStringLiteral("preview-") + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'));
        writeTestFile(path, bytes);
        const Drawn drawn = previewedByHelper(path);
        QVERIFY2(!mustDraw || !drawn.pictures.isEmpty(), "no preview");
        qInfo("%s preview, %lld bytes, %s: helper peak %lld KiB, one small icon %lld KiB", QTest::currentDataTag(), qint64(bytes.size()),
              drawn.pictures.isEmpty() ? "refused" : "drawn", drawn.helperPeakKiB, m_baselineKiB);
        QVERIFY(drawn.helperPeakKiB > 0);
        QVERIFY2(drawn.helperPeakKiB - m_baselineKiB <= kGrowthBoundKiB,
                 qPrintable(QStringLiteral("the helper grew by %1 KiB").arg(drawn.helperPeakKiB - m_baselineKiB)));
    }

    // A document's thumbnail is drawn by the thumbnail helper from the same kinds of file: a PNG
    // file whose chunk names more than it holds, and a compressed vector picture named ".svgz" that
    // expands to 600 MB, cost it no more than a small picture and give no thumbnail (nor an abort).
    void aHostileDocumentCostsTheThumbnailHelperLittle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("mustDraw");
        QTest::newRow("PNG text chunk past the end") << QStringLiteral("text.png") << HostileFiles::pngWithChunkPastTheEnd("tEXt") << false;
        QTest::newRow("PNG compressed text chunk past the end")
            << QStringLiteral("compressed-text.png") << HostileFiles::pngWithChunkPastTheEnd("zTXt") << false;
        QTest::newRow("ICO holding such a PNG") << QStringLiteral("holding.ico")
                                                << HostileFiles::iconFileHolding(HostileFiles::pngWithChunkPastTheEnd("tEXt")) << false;
        QTest::newRow("SVGZ of 1 KB") << QStringLiteral("small.svgz") << HostileFiles::gzippedSvgOf(1) << true;
        QTest::newRow("SVGZ of 600 MB") << QStringLiteral("bomb.svgz") << HostileFiles::gzippedSvgOf(600LL << 20) << false;
    }

    void aHostileDocumentCostsTheThumbnailHelperLittle()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, mustDraw);
        QImage small(48, 48, QImage::Format_ARGB32);
        small.fill(QColor(30, 120, 200));
        const QString smallPath = m_folder.filePath(QStringLiteral("small-document.png"));
        QVERIFY(small.save(smallPath));
        const Drawn baseline = thumbnailByHelper(smallPath);
        QCOMPARE(baseline.pictures.size(), 1);
        const QString path = m_folder.filePath(QStringLiteral("document-") + name);
        writeTestFile(path, bytes);
        const Drawn drawn = thumbnailByHelper(path);
        QCOMPARE(drawn.pictures.size(), mustDraw ? 1 : 0);
        qInfo("%s thumbnail, %lld bytes, %s: helper peak %lld KiB, a small picture's %lld KiB", QTest::currentDataTag(), qint64(bytes.size()),
              drawn.pictures.isEmpty() ? "refused" : "drawn", drawn.helperPeakKiB, baseline.helperPeakKiB);
        QVERIFY(drawn.helperPeakKiB > 0);
        QVERIFY2(drawn.helperPeakKiB - baseline.helperPeakKiB <= kGrowthBoundKiB,
                 qPrintable(QStringLiteral("the helper grew by %1 KiB").arg(drawn.helperPeakKiB - baseline.helperPeakKiB)));
    }

private:
    // What a helper takes for a small icon, measured again before each picture: a helper started
    // by a process counts what that process held as it started it (a checked test process holds
    // more with every file it makes), so the files are made small here too.
    void measureBaseline()
    {
        QImage small(48, 48, QImage::Format_ARGB32);
        small.fill(QColor(30, 120, 200));
        const QString path = m_folder.filePath(QStringLiteral("small.png"));
        QVERIFY(small.save(path));
        const Drawn drawn = drawnByHelper(path);
        QCOMPARE(drawn.pictures.size(), kSides.size());
        QVERIFY(drawn.helperPeakKiB > 0);
        m_baselineKiB = drawn.helperPeakKiB;
    }

    QTemporaryDir m_folder;
    qint64 m_baselineKiB = 0;
};

KESTROWAN_TEST_MAIN(TestIconHelperMemory)
#include "tst_iconhelpermemory.moc"
