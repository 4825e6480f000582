// This machine's thumbnail renderer: what Qt draws itself, and desktop thumbnailers run from an
// argument list, with a timeout for one that hangs.
#include "Platform/linux/DesktopThumbnailRenderer.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kOdpType = "application/vnd.oasis.opendocument.presentation";

} // namespace

class TestDesktopThumbnails : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString thumbnailerFolder(const QString &name, const QByteArray &entry)
    {
        const QString folder = m_dir.filePath(name);
        QDir().mkpath(folder);
        writeTestFile(folder + QStringLiteral("/test.thumbnailer"), entry);
        return folder;
    }

private slots:
    void vectorImagesAndPagesAreDrawnByQt()
    {
        DesktopThumbnailRenderer renderer(QStringList{});
        const QString svg = m_dir.filePath(QStringLiteral("wide.svg"));
        writeTestFile(svg, "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 200 100'>"
                       "<rect width='200' height='100' fill='#ff0000'/></svg>");
        const QImage vector = renderer.renderWithQt(svg, QSize(256, 256));
        QCOMPARE(vector.size(), QSize(256, 128));
        QCOMPARE(vector.pixelColor(128, 64), QColor(Qt::red));

        const QString html = m_dir.filePath(QStringLiteral("page.html"));
        writeTestFile(html, "<html><body><h1>Plan</h1><p>Quarterly numbers</p><img src='/dev/zero'></body></html>");
        const QImage page = renderer.renderWithQt(html, QSize(256, 256));
        QVERIFY(!page.isNull());
        QVERIFY(page.width() <= 256 && page.height() == 256);
        QCOMPARE(page.pixelColor(2, 2), QColor(Qt::white));

        writeTestFile(m_dir.filePath(QStringLiteral("broken.svg")), "<svg this is not");
        QVERIFY(renderer.renderWithQt(m_dir.filePath(QStringLiteral("broken.svg")), QSize(64, 64)).isNull());
    }

    void execLineFieldCodes()
    {
        const auto args = DesktopThumbnailRenderer::execArguments(QStringLiteral("/usr/bin/thumb -s %s \"%i\" %u %o 100%%"),
                                                                  QStringLiteral("/d/My Deck.odp"), QStringLiteral("/t/out.png"), 256);
        QCOMPARE(args.value_or(QStringList()),
                 (QStringList{QStringLiteral("/usr/bin/thumb"), QStringLiteral("-s"), QStringLiteral("256"), QStringLiteral("/d/My Deck.odp"),
                              QStringLiteral("file:///d/My%20Deck.odp"), QStringLiteral("/t/out.png"), QStringLiteral("100%")}));
        QVERIFY(!DesktopThumbnailRenderer::execArguments(QStringLiteral("thumb %x"), QStringLiteral("/a"), QStringLiteral("/b"), 1));
        QVERIFY(!DesktopThumbnailRenderer::execArguments(QString(), QStringLiteral("/a"), QStringLiteral("/b"), 1));
    }

    void thumbnailerForTheTypeRuns()
    {
        const QString picture = m_dir.filePath(QStringLiteral("picture.png"));
        QImage big(600, 300, QImage::Format_RGB32);
        big.fill(Qt::blue);
        QVERIFY(big.save(picture));
        const QString cp = QStandardPaths::findExecutable(QStringLiteral("cp"));
        const QString folder = thumbnailerFolder(QStringLiteral("copying"),
                                                 "[Thumbnailer Entry]\nTryExec=" + cp.toUtf8() + "\nExec=" + cp.toUtf8() + " "
                                                     + picture.toUtf8() + " %o\nMimeType=" + kOdpType + ";\n");
        const QString deck = m_dir.filePath(QStringLiteral("deck.odp"));
        writeTestFile(deck, "PK");
        DesktopThumbnailRenderer renderer({folder});
        const QImage image = renderer.render(deck, QSize(256, 256));
        QCOMPARE(image.size(), QSize(256, 128)); // never larger than asked
        QCOMPARE(image.pixelColor(10, 10), QColor(Qt::blue));

        // No thumbnailer for the type, or one whose program is missing: nothing.
        QVERIFY(renderer.render(m_dir.filePath(QStringLiteral("missing.odp")), QSize(64, 64)).isNull());
        const QString absent = thumbnailerFolder(QStringLiteral("absent"), "[Thumbnailer Entry]\nTryExec=/nonexistent/thumb\n"
                                                                           "Exec=/nonexistent/thumb %i %o\nMimeType=" + kOdpType + ";\n");
        QVERIFY(DesktopThumbnailRenderer({absent}).render(deck, QSize(64, 64)).isNull());
        const QString garbage = thumbnailerFolder(QStringLiteral("garbage"), QByteArray("\x00\xff\xfe[[[", 7));
        QVERIFY(DesktopThumbnailRenderer({garbage}).render(deck, QSize(64, 64)).isNull());
    }

    // A thumbnailer is outside code reading outside input: it runs under the helper's limits and
    // sees none of the program's descriptors, even one a library left without close-on-exec.
    void thumbnailerRunsBoundedWithOnlyItsStandardStreams()
    {
        const InheritablePipe leaked;
        QVERIFY(leaked.isValid());
        const QString record = m_dir.filePath(QStringLiteral("seen"));
        const QString script = m_dir.filePath(QStringLiteral("recording.sh"));
        writeTestFile(script, "cat /proc/$$/limits > '" + record.toUtf8() + ".limits'\n"
                              "ls -l /proc/$$/fd/ > '" + record.toUtf8() + ".fd'\n");
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sh"));
        const QString folder = thumbnailerFolder(QStringLiteral("recording"), "[Thumbnailer Entry]\nExec=" + shell.toUtf8() + " "
                                                                                  + script.toUtf8() + " %o\nMimeType=" + kOdpType + ";\n");
        const QString deck = m_dir.filePath(QStringLiteral("recorded.odp"));
        writeTestFile(deck, "PK");
        DesktopThumbnailRenderer renderer({folder});
        for (int round = 0; round < 3; ++round) {
            QFile::remove(record + QStringLiteral(".fd"));
            QVERIFY(renderer.render(deck, QSize(64, 64)).isNull()); // it wrote no picture
            const QByteArray limits = readTestFile(record + QStringLiteral(".limits"));
            QCOMPARE(processLimit(limits, "Max address space"), QByteArray("1073741824"));
            QCOMPARE(processLimit(limits, "Max cpu time"), QByteArray("8"));
            const QByteArray descriptors = readTestFile(record + QStringLiteral(".fd"));
            QVERIFY(!descriptors.isEmpty());
            QVERIFY2(!descriptors.contains(leaked.name()), descriptors.constData());
        }
    }

    // A vector image the helper refuses for its size (2 GB, sparse) is handed to no other decoder;
    // one the helper merely cannot draw still is.
    void documentRefusedForItsSizeGoesNowhereElse()
    {
        const QString marker = m_dir.filePath(QStringLiteral("svg-thumbnailer-ran"));
        const QString touch = QStandardPaths::findExecutable(QStringLiteral("touch"));
        const QString folder = thumbnailerFolder(QStringLiteral("vector"), "[Thumbnailer Entry]\nExec=" + touch.toUtf8() + " "
                                                                              + marker.toUtf8() + "\nMimeType=image/svg+xml;\n");
        const QString huge = m_dir.filePath(QStringLiteral("huge.svg"));
        QVERIFY(HostileFiles::writeSparseFile(huge, "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'>",
                                              qint64(2) * 1024 * 1024 * 1024));
        DesktopThumbnailRenderer renderer({folder});
        QVERIFY(renderer.render(huge, QSize(64, 64)).isNull());
        QVERIFY(!renderer.lastFailureIsTransient());
        QVERIFY(!QFileInfo::exists(marker));

        const QString broken = m_dir.filePath(QStringLiteral("broken-for-thumbnailer.svg"));
        writeTestFile(broken, "<svg");
        QVERIFY(renderer.render(broken, QSize(64, 64)).isNull());
        QVERIFY(QFileInfo::exists(marker));
    }

    void hangingThumbnailerIsEndedAndGivesNothing()
    {
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        const QString folder = thumbnailerFolder(QStringLiteral("hanging"), "[Thumbnailer Entry]\nExec=" + sleep.toUtf8()
                                                                                + " 600\nMimeType=" + kOdpType + ";\n");
        const QString deck = m_dir.filePath(QStringLiteral("slow.odp"));
        writeTestFile(deck, "PK");
        DesktopThumbnailRenderer renderer({folder}, 300);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(renderer.render(deck, QSize(64, 64)).isNull());
        // Ended while it sat idle: worth asking again later, unlike a document that gave none.
        QVERIFY(renderer.lastFailureIsTransient());
        // It did run, and was ended long before it would have finished.
        QVERIFY(timer.elapsed() >= 250);
        QVERIFY(timer.elapsed() < 60000);
    }

    void endedThumbnailerTakesItsChildrenWithIt()
    {
        // A thumbnailer that starts a program of its own and waits for it: the timeout ends both.
        const QString pidFile = m_dir.filePath(QStringLiteral("grandchild.pid"));
        const QString script = m_dir.filePath(QStringLiteral("spawning.sh"));
        writeTestFile(script, "sleep 600 &\necho $! > '" + pidFile.toUtf8() + "'\nwait\n");
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sh"));
        const QString folder = thumbnailerFolder(QStringLiteral("spawning"), "[Thumbnailer Entry]\nExec=" + shell.toUtf8() + " "
                                                                                 + script.toUtf8() + " %o\nMimeType=" + kOdpType + ";\n");
        const QString deck = m_dir.filePath(QStringLiteral("spawning.odp"));
        writeTestFile(deck, "PK");
        DesktopThumbnailRenderer renderer({folder}, 3000);
        QVERIFY(renderer.render(deck, QSize(64, 64)).isNull());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(pidFile).size() > 0, 30000);
        const qint64 grandchild = readTestFile(pidFile).trimmed().toLongLong();
        QVERIFY(grandchild > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(grandchild), 30000);
    }

    // Nor does a program the thumbnailer starts in a session of its own (out of its process group)
    // outlive it, whether it hangs or ends by itself.
    void programInASessionOfItsOwnIsEndedToo()
    {
        const QString shell = QStandardPaths::findExecutable(QStringLiteral("sh"));
        for (const QByteArray &end : {QByteArray("exec sleep 600"), QByteArray("exit 1")}) {
            const QString pidFile = m_dir.filePath(QStringLiteral("session.pid"));
            QFile::remove(pidFile);
            const QString script = m_dir.filePath(QStringLiteral("leaving.sh"));
            writeTestFile(script, "setsid sleep 600 < /dev/null > /dev/null 2>&1 &\necho $! > '" + pidFile.toUtf8() + "'\n" + end + "\n");
            const QString folder = thumbnailerFolder(QStringLiteral("leaving"), "[Thumbnailer Entry]\nExec=" + shell.toUtf8() + " "
                                                                                    + script.toUtf8() + " %o\nMimeType=" + kOdpType + ";\n");
            const QString deck = m_dir.filePath(QStringLiteral("leaving.odp"));
            writeTestFile(deck, "PK");
            DesktopThumbnailRenderer renderer({folder}, 3000);
            QVERIFY(renderer.render(deck, QSize(64, 64)).isNull());
            const qint64 session = readTestFile(pidFile).trimmed().toLongLong();
            QVERIFY(session > 0);
            QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(session), 30000);
        }
    }
};

KESTROWAN_TEST_MAIN(TestDesktopThumbnails)
#include "tst_desktopthumbnails.moc"
