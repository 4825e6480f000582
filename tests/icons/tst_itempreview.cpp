#include "Kestrowan/icons/ItemPreview.h"
#include "Platform/thumbnailhelper/PdfPageDrawing.h"
#include "Platform/thumbnailhelper/PictureDrawing.h"
#include "Platform/thumbnailhelper/PreviewDrawing.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

const QColor kPaper(247, 243, 238);
const QColor kInk(68, 59, 50);
const QColor kLabelFill(238, 231, 222);

AppItem itemAt(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("Item"), path};
}

bool hasColorIn(const QImage &image, const QRectF &points, const QColor &color, int tolerance)
{
    for (qreal y = points.top(); y < points.bottom(); y += 0.5) {
        for (qreal x = points.left(); x < points.right(); x += 0.5) {
            if (sameColor(pointColor(image, x, y), color, tolerance))
                return true;
        }
    }
    return false;
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray &type, const QByteArray &body)
{
    QByteArray length(4, '\0');
    qToBigEndian(quint32(body.size()), length.data());
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(type + body), crc.data());
    return length + type + body + crc;
}

// A PNG that claims to be `side` pixels square but holds no picture data.
QByteArray hugePngHeader(quint32 side)
{
    QByteArray ihdr(13, '\0');
    qToBigEndian(side, ihdr.data());
    qToBigEndian(side, ihdr.data() + 4);
    ihdr[8] = 8; // bit depth
    ihdr[9] = 6; // RGBA
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IEND", {});
}

QImage halves(const QSize &size, const QColor &left, const QColor &right)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(right);
    QPainter p(&image);
    p.fillRect(QRect(0, 0, size.width() / 2, size.height()), left);
    return image;
}

} // namespace

class TestItemPreview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void applicationIconOnRoundedSquare();
    void pictureOnPaperCard();
    void badgesByKindAndExtension();
    void pdfFirstPage();
    void pdfWithoutUsablePage();
    void picturesAreNeverDecodedWhole();
    void videoStillUprightAndSmall();
    void videoThatIsNoVideo();
    void pathExtensions();

private:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    // Writes `bytes` to the named file in the test folder and returns its path.
    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(file(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(f.fileName()));
        return f.fileName();
    }
    FakeWorkspace *m_workspace = nullptr;
    QTemporaryDir m_dir;
};

void TestItemPreview::initTestCase()
{
    ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    m_workspace = &installFakeWorkspace();
    QVERIFY(m_dir.isValid());
}

void TestItemPreview::applicationIconOnRoundedSquare()
{
    m_workspace->fileIcons.insert(QStringLiteral("/Applications/Red.app"), solidIcon(Qt::red, 256));
    const QImage preview = settledThumbnail(itemAt(QStringLiteral("/Applications/Red.app")));
    QCOMPARE(preview.deviceIndependentSize(), QSizeF(128, 128));
    QCOMPARE(preview.size(), QSize(256, 256));
    // 115.2 points square, centred, corners of radius 25.6; no card, no shadow.
    QCOMPARE_COLOR(pointColor(preview, 64, 64), QColor(Qt::red), 0);
    QCOMPARE_COLOR(pointColor(preview, 7, 64), QColor(Qt::red), 0);
    QCOMPARE_COLOR(pointColor(preview, 121, 64), QColor(Qt::red), 0);
    QCOMPARE(pointColor(preview, 5.8, 64).alpha(), 0);
    QCOMPARE(pointColor(preview, 122.2, 64).alpha(), 0);
    QCOMPARE(pointColor(preview, 8, 8).alpha(), 0);
    QCOMPARE(pointColor(preview, 6.4 + 25.6 * 0.29 - 2, 6.4 + 25.6 * 0.29 - 2).alpha(), 0);
    QCOMPARE_COLOR(pointColor(preview, 6.4 + 25.6 * 0.29 + 2, 6.4 + 25.6 * 0.29 + 2), QColor(Qt::red), 0);

    // A wide icon is fitted, not stretched: half the height, centred.
    const QImage wide = ItemPreview::drawAppIconPreview(QIcon(QPixmap::fromImage(solidImage(QSize(200, 100), Qt::blue))), 128);
    QCOMPARE_COLOR(pointColor(wide, 64, 64 + 27), QColor(Qt::blue), 0);
    QCOMPARE(pointColor(wide, 64, 64 + 31).alpha(), 0);
    // No icon at all: a transparent preview.
    QCOMPARE(countPixels(ItemPreview::drawAppIconPreview(QIcon(), 128), QColor(0, 0, 0, 0), 0), 256 * 256);
}

void TestItemPreview::pictureOnPaperCard()
{
    // Capitals in the extension: still a picture, and the label reads PNG.
    const QString path = file(QStringLiteral("Wide.PNG"));
    QVERIFY(halves(QSize(300, 100), Qt::blue, Qt::blue).save(path, "png"));
    const QImage card = settledThumbnail(itemAt(path));
    QCOMPARE(card.deviceIndependentSize(), QSizeF(128, 128));
    // The photo covers the 88-point well: a wide picture is cropped at its sides.
    QCOMPARE_COLOR(pointColor(card, 64, 68), QColor(Qt::blue), 0);
    QCOMPARE_COLOR(pointColor(card, 22, 68), QColor(Qt::blue), 2);
    QCOMPARE_COLOR(pointColor(card, 106, 68), QColor(Qt::blue), 2);
    QCOMPARE_COLOR(pointColor(card, 17, 68), kPaper, 2);
    QCOMPARE_COLOR(pointColor(card, 64, 114.5), kPaper, 2);
    QCOMPARE(pointColor(card, 64, 126).alpha(), 0);
    QVERIFY2(pointColor(card, 64, 7).alpha() > 0, "a soft shadow below the card");
    // The label capsule with dark text on it.
    QCOMPARE_COLOR(pointColor(card, 26.5, 22), kLabelFill, 2);
    QVERIFY(hasColorIn(card, QRectF(30, 18, 22, 8), QColor(116, 104, 93), 40));

    // A tall picture fills the width and is cut at top and bottom.
    const QString tall = file(QStringLiteral("tall.jpg"));
    QVERIFY(halves(QSize(50, 200), Qt::red, Qt::red).save(tall, "jpg"));
    const QImage tallCard = settledThumbnail(itemAt(tall));
    QCOMPARE_COLOR(pointColor(tallCard, 64, 110), QColor(Qt::red), 12);
    QCOMPARE_COLOR(pointColor(tallCard, 21, 68), QColor(Qt::red), 12);
}

void TestItemPreview::badgesByKindAndExtension()
{
    const auto check = [](const QImage &badge, const QColor &cardFill, const QColor &symbol) {
        QCOMPARE(badge.deviceIndependentSize(), QSizeF(128, 128));
        QCOMPARE_COLOR(pointColor(badge, 20, 100), cardFill, 2);
        QVERIFY2(hasColorIn(badge, QRectF(44, 56, 40, 40), symbol, 6), "the symbol in its colour");
    };
    // A file without extension: a page symbol and "File".
    const QString plain = writeFile(QStringLiteral("notes"), QByteArray());
    const QImage noExt = settledThumbnail(itemAt(plain));
    check(noExt, kPaper, kInk);
    QCOMPARE_COLOR(pointColor(noExt, 64, 76), kInk, 2);
    QCOMPARE_COLOR(pointColor(noExt, 64 + 18, 76), kPaper, 2); // the page is narrower than a photo

    // svg is never rendered, but shows the photo symbol.
    const QString svg = writeFile(QStringLiteral("drawing.svg"), "<svg xmlns='http://www.w3.org/2000/svg'/>");
    const QImage svgBadge = settledThumbnail(itemAt(svg));
    check(svgBadge, kPaper, kInk);
    QCOMPARE_COLOR(pointColor(svgBadge, 64 + 18, 76), kInk, 2);

    // An unreadable tiff falls back to its badge, whose symbol is the plain page.
    const QString tiff = writeFile(QStringLiteral("broken.tiff"), "not a tiff at all");
    const QImage tiffBadge = settledThumbnail(itemAt(tiff));
    check(tiffBadge, kPaper, kInk);
    QCOMPARE_COLOR(pointColor(tiffBadge, 64 + 18, 76), kPaper, 2);

    // A folder named like a video tries the video, then shows the folder badge.
    QVERIFY(QDir().mkpath(file(QStringLiteral("clip.mov"))));
    const QImage folder = settledThumbnail(itemAt(file(QStringLiteral("clip.mov"))));
    check(folder, QColor(244, 228, 188), QColor(123, 90, 30));
    QCOMPARE_COLOR(pointColor(folder, 64, 72), QColor(123, 90, 30), 2);
    QCOMPARE_COLOR(pointColor(folder, 28, 30), QColor(231, 212, 162), 2); // label capsule

    // A link is a link whatever its URL ends in, and nothing is fetched.
    const QImage link = settledThumbnail(itemAt(QStringLiteral("https://example.invalid/report.pdf")));
    check(link, QColor(238, 245, 255), QColor(45, 108, 223));
    QCOMPARE_COLOR(pointColor(link, 28, 30), QColor(220, 234, 255), 2);

    QCOMPARE(ItemPreview::badgeSymbolName(QStringLiteral("webm"), AppItem::Kind::File), QStringLiteral("doc.fill"));
    QCOMPARE(ItemPreview::badgeSymbolName(QStringLiteral("m4v"), AppItem::Kind::File), QStringLiteral("doc.fill"));
    QCOMPARE(ItemPreview::badgeSymbolName(QStringLiteral("pdf"), AppItem::Kind::Link), QStringLiteral("link"));
    QCOMPARE(ItemPreview::badgeSymbolName(QStringLiteral("cpp"), AppItem::Kind::File), QStringLiteral("curlybraces"));
}

void TestItemPreview::pdfFirstPage()
{
    const QString path = file(QStringLiteral("landscape.pdf"));
    {
        QPdfWriter writer(path);
        writer.setPageSize(QPageSize(QSizeF(842, 595), QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&writer);
        const QRect page = p.viewport();
        p.fillRect(QRect(page.left(), page.top(), page.width() / 4, page.height()), Qt::red);
    }
    const auto page = PdfPageDrawing::firstPage(path);
    QVERIFY(page.has_value());
    QCOMPARE(page->size(), QSize(256, 181));
    QCOMPARE_COLOR(page->pixelColor(10, 90), QColor(Qt::red), 8);
    QCOMPARE_COLOR(page->pixelColor(250, 10), QColor(Qt::white), 0);
    QCOMPARE_COLOR(page->pixelColor(150, 170), QColor(Qt::white), 0);

    const QImage card = settledThumbnail(itemAt(path));
    QCOMPARE_COLOR(pointColor(card, 64, 68), QColor(Qt::white), 2);
    QCOMPARE_COLOR(pointColor(card, 17, 68), kPaper, 2);
}

void TestItemPreview::pdfWithoutUsablePage()
{
    // Not a PDF at all.
    const QString garbage = writeFile(QStringLiteral("garbage.pdf"), "%PDF-1.4 and then nothing that makes sense");
    QVERIFY(!PdfPageDrawing::firstPage(garbage).has_value());
    const QImage badge = settledThumbnail(itemAt(garbage));
    QCOMPARE_COLOR(pointColor(badge, 20, 100), kPaper, 2);
    QVERIFY(!PdfPageDrawing::firstPage(file(QStringLiteral("missing.pdf"))).has_value());

    // A page whose box has no area: whatever the reader makes of it, nothing divides by zero.
    const QString empty = writeFile(QStringLiteral("empty-box.pdf"), "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
                "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 0 0] >> endobj\n"
                "trailer << /Root 1 0 R >>\n%%EOF\n");
    const auto page = PdfPageDrawing::firstPage(empty);
    if (page)
        QVERIFY(page->width() > 0 && page->height() > 0 && page->width() <= 256 && page->height() <= 256);
    QCOMPARE(settledThumbnail(itemAt(empty)).deviceIndependentSize(), QSizeF(128, 128));
}

void TestItemPreview::picturesAreNeverDecodedWhole()
{
    // Claims 30000 by 30000 pixels (3.6 GB decoded): refused before any allocation.
    const QString huge = writeFile(QStringLiteral("huge.png"), hugePngHeader(30000));
    QVERIFY(!PictureDrawing::draw(huge).has_value());
    const QImage badge = settledThumbnail(itemAt(huge));
    QCOMPARE_COLOR(pointColor(badge, 64 + 18, 76), kInk, 2); // the photo symbol of its badge

    // A large photo comes out 256 pixels on its short side.
    const QString large = file(QStringLiteral("large.jpeg"));
    QVERIFY(writeSolidPicture(large, QSize(3000, 2000), Qt::darkGreen, "jpg"));
    const auto picture = PictureDrawing::draw(large);
    QVERIFY(picture.has_value());
    QCOMPARE(picture->size(), QSize(384, 256));
    // Small pictures are kept as they are.
    const QString small = file(QStringLiteral("small.gif"));
    QVERIFY(writeSolidPicture(small, QSize(30, 20), Qt::yellow, "png")); // content sniffed, not named
    const auto smallPicture = PictureDrawing::draw(small);
    QVERIFY(smallPicture.has_value());
    QCOMPARE(smallPicture->size(), QSize(30, 20));
}

void TestItemPreview::videoStillUprightAndSmall()
{
    const QImage picture = halves(QSize(320, 160), Qt::red, Qt::blue);
    const QString plain = file(QStringLiteral("plain.mp4"));
    if (!writeTestVideo(plain, picture, 3, 0))
        QSKIP("no MPEG-4 encoder in this build of the codec library");
    const auto still = PreviewDrawing::videoFrame(plain);
    QVERIFY(still.has_value());
    QCOMPARE(still->size(), QSize(256, 128));
    QCOMPARE_COLOR(still->pixelColor(40, 64), QColor(Qt::red), 30);
    QCOMPARE_COLOR(still->pixelColor(216, 64), QColor(Qt::blue), 30);

    // The file asks for a quarter turn clockwise (as a phone held upright records): shown portrait,
    // the left half on top.
    const QString turned = file(QStringLiteral("turned.mov"));
    QVERIFY(writeTestVideo(turned, picture, 3, 90));
    const auto upright = PreviewDrawing::videoFrame(turned);
    QVERIFY(upright.has_value());
    QCOMPARE(upright->size(), QSize(128, 256));
    QCOMPARE_COLOR(upright->pixelColor(64, 40), QColor(Qt::red), 30);
    QCOMPARE_COLOR(upright->pixelColor(64, 216), QColor(Qt::blue), 30);

    const QImage card = settledThumbnail(itemAt(plain));
    QCOMPARE_COLOR(pointColor(card, 17, 68), kPaper, 2);
    QVERIFY(hasColorIn(card, QRectF(24, 30, 30, 70), QColor(Qt::red), 30));
}

void TestItemPreview::videoThatIsNoVideo()
{
    const QString garbage = writeFile(QStringLiteral("garbage.mkv"), QByteArray(4096, '\x17'));
    QVERIFY(!PreviewDrawing::videoFrame(garbage).has_value());

    // A playlist dressed as a video must not lead anywhere else.
    const QString playlist = writeFile(QStringLiteral("playlist.mp4"), "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:9/segment.ts\n#EXT-X-ENDLIST\n");
    QVERIFY(!PreviewDrawing::videoFrame(playlist).has_value());
    const QImage badge = settledThumbnail(itemAt(playlist));
    QVERIFY(hasColorIn(badge, QRectF(44, 56, 40, 40), kInk, 6)); // "film.fill"

    QVERIFY(!PreviewDrawing::videoFrame(file(QStringLiteral("absent.mp4"))).has_value());
    QVERIFY(!PreviewDrawing::videoFrame(m_dir.path()).has_value());
}

void TestItemPreview::pathExtensions()
{
    QCOMPARE(ItemPreview::pathExtension(QStringLiteral("/a/b.tar.GZ")), QStringLiteral("gz"));
    QCOMPARE(ItemPreview::pathExtension(QStringLiteral("/a.d/readme")), QString());
    QCOMPARE(ItemPreview::pathExtension(QStringLiteral("/a/b.")), QString());
    QCOMPARE(ItemPreview::pathExtension(QStringLiteral("/a/Tool.app/")), QStringLiteral("app"));
    QCOMPARE(ItemPreview::pathExtension(QStringLiteral("https://example.com/Report.PDF")), QStringLiteral("pdf"));
    QCOMPARE(ItemPreview::pathExtension(QString()), QString());
}

KESTROWAN_TEST_MAIN(TestItemPreview)
#include "tst_itempreview.moc"
