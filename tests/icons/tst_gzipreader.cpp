// Compressed vector pictures are expanded by the program's own bounded reader before Qt's vector
// reader sees them: every well-formed file comes back byte for byte, and a file that is broken, cut,
// larger than the bound, or larger than its trailer says comes back as nothing.
#include "Platform/codecs/GzipReader.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestMain.h"

#include <QTest>
#include <QtEndian>

#include <zlib.h>

namespace {

QByteArray gzipped(const QByteArray &plain)
{
    z_stream stream{};
    if (deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&stream, uLong(plain.size()))) + 32, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(plain.constData()));
    stream.avail_in = uInt(plain.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}

QByteArray svgOf(int rectangles)
{
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 64 64\">";
    for (int i = 0; i < rectangles; ++i)
        svg += "<rect x=\"" + QByteArray::number(i % 64) + "\" width=\"1\" height=\"1\"/>";
    return svg + "</svg>\n";
}

} // namespace

class TestGzipReader : public QObject {
    Q_OBJECT

private slots:
    void wellFormedFilesComeBackWhole()
    {
        for (const int rectangles : {0, 1, 50, 5000}) {
            const QByteArray plain = svgOf(rectangles);
            const std::optional<QByteArray> expanded = GzipReader::inflated(gzipped(plain), 1 << 20);
            QVERIFY(expanded);
            QCOMPARE(*expanded, plain);
            // Exactly at the bound is within it.
            QCOMPARE(GzipReader::inflated(gzipped(plain), plain.size()).value_or("none"), plain);
        }
        // Two members, the second no smaller than the first, one after the other.
        const QByteArray first = svgOf(10), second = svgOf(20);
        QCOMPARE(GzipReader::inflated(gzipped(first) + gzipped(second), 1 << 20).value_or("none"), first + second);
    }

    void badFilesComeBackAsNothing()
    {
        const QByteArray plain = svgOf(200);
        const QByteArray good = gzipped(plain);
        QVERIFY(!GzipReader::inflated(plain, 1 << 20));
        QVERIFY(!GzipReader::inflated(QByteArray(), 1 << 20));
        QVERIFY(!GzipReader::inflated(QByteArray("\x1f\x8b", 2), 1 << 20));
        QVERIFY(!GzipReader::inflated(good.left(good.size() / 2), 1 << 20));
        QVERIFY(!GzipReader::inflated(good.left(good.size() - 1), 1 << 20));
        QVERIFY(!GzipReader::inflated(good + "junk after the last member", 1 << 20));
        QByteArray flipped = good;
        flipped[20] = char(flipped.at(20) ^ 0x55);
        QVERIFY(!GzipReader::inflated(flipped, 1 << 20));
        // Over the bound, whether the trailer says so or hides it.
        QVERIFY(!GzipReader::inflated(good, plain.size() - 1));
        QByteArray hiding = good;
        qToLittleEndian<quint32>(16, hiding.data() + hiding.size() - 4);
        QVERIFY(!GzipReader::inflated(hiding, 1 << 20));
        QVERIFY(!GzipReader::inflated(HostileFiles::gzippedSvgOf(64LL << 20), 32 << 20));
        // Every cut of a small file is nothing or the whole.
        const QByteArray small = gzipped(svgOf(3));
        for (qsizetype length = 0; length < small.size(); ++length)
            QVERIFY2(!GzipReader::inflated(small.left(length), 1 << 20), qPrintable(QString::number(length)));
    }
};

KESTROWAN_TEST_MAIN(TestGzipReader)
#include "tst_gzipreader.moc"
