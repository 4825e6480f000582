// An icon is read at the size it is drawn, whatever its file says: a PNG file of a few dozen
// kilobytes that names a picture of tens of millions of pixels costs the real icon helper a few
// times the drawn picture, not the picture the file names. Each file goes to a helper of its own,
// as often as it takes to show the bound holds every time.
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/HelperIconDecoder.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
    QElapsedTimer waited;
    waited.start();
    while (decoder.runningCount() > 0 && waited.elapsed() < kDeadlineMs)
        QTest::qWait(20);
    drawn.helperPeakKiB = decoder.runningCount() == 0 ? ProcessFigures::childrenPeakKiB() : -1;
    return drawn;
}

} // namespace

class TestIconHelperMemory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QImage small(48, 48, QImage::Format_ARGB32);
        small.fill(QColor(30, 120, 200));
        const QString path = m_folder.filePath(QStringLiteral("small.png"));
        QVERIFY(small.save(path));
        const Drawn drawn = drawnByHelper(path);
        QCOMPARE(drawn.pictures.size(), kSides.size());
        QVERIFY(drawn.helperPeakKiB > 0);
        m_baselineKiB = drawn.helperPeakKiB;
    }

    void aVastPictureCostsTheHelperAFewIconSquares_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("compressedAtMostKiB");
        QTest::newRow("grey 8192") << 8192 << 1 << 70;
        QTest::newRow("grey 6000") << 6000 << 1 << 40;
        QTest::newRow("RGBA 5792") << 5792 << 4 << 140;
        QTest::newRow("RGBA 5793") << 5793 << 4 << 140;
    }

    void aVastPictureCostsTheHelperAFewIconSquares()
    {
        QFETCH(int, side);
        QFETCH(int, channels);
        QFETCH(int, compressedAtMostKiB);
        const QByteArray bytes = HostileFiles::darkPng(side, side, channels);
        QVERIFY2(bytes.size() <= compressedAtMostKiB * 1024, qPrintable(QString::number(bytes.size())));
        const QString path = m_folder.filePath(QStringLiteral("vast-%1-%2.png").arg(side).arg(channels));
        writeTestFile(path, bytes);
        for (int run = 0; run < 3; ++run) {
            const Drawn drawn = drawnByHelper(path);
            // Drawn, at the sides asked for, as the black square it is; or refused, as Qt's reader
            // refuses a grey picture whose four-byte pixels would pass its allocation limit.
            QVERIFY(drawn.pictures.isEmpty() || drawn.pictures.size() == kSides.size());
            for (qsizetype i = 0; i < drawn.pictures.size(); ++i) {
                QCOMPARE(drawn.pictures.at(i).size(), QSize(kSides.at(i), kSides.at(i)));
                QCOMPARE(drawn.pictures.at(i).pixel(kSides.at(i) / 2, kSides.at(i) / 2), channels == 1 ? qRgb(0, 0, 0) : 0u);
            }
            qInfo("%dx%d, %d channels, %lld bytes, %s: helper peak %lld KiB, one small icon %lld KiB", side, side, channels,
                  qint64(bytes.size()), drawn.pictures.isEmpty() ? "refused" : "drawn", drawn.helperPeakKiB, m_baselineKiB);
            QVERIFY(drawn.helperPeakKiB > 0);
            QVERIFY2(drawn.helperPeakKiB - m_baselineKiB <= kGrowthBoundKiB,
                     qPrintable(QStringLiteral("the helper grew by %1 KiB").arg(drawn.helperPeakKiB - m_baselineKiB)));
        }
    }

private:
    QTemporaryDir m_folder;
    qint64 m_baselineKiB = 0;
};

KESTROWAN_TEST_MAIN(TestIconHelperMemory)
#include "tst_iconhelpermemory.moc"
