// Documents made to exhaust a decoder, put in a group and shown the way the main window shows it
// (the composed group icon and the item views) with the real helper process: the program's own
// memory stays small, its event loop keeps turning while the helper works, the badge stands in for
// the picture, and the helper ends at its limits. Ordinary documents still show the very pixels an
// in-process decoding would draw.
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/DesktopThumbnailRenderer.h"
#include "Platform/linux/HelperPreviewRenderer.h"
#include "Platform/thumbnailhelper/PreviewDrawing.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using ProcessFigures::childrenPeakKiB;
using ProcessFigures::statusKiB;

constexpr int kDeadlineMs = 60000;

AppItem itemAt(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).completeBaseName(), path};
}

} // namespace

class TestHostileDocuments : public QObject {
    Q_OBJECT

    ScratchFolder m_files;

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
        // The real helpers, as the program chooses them (the page helper for PDF files, the icon
        // helper for pictures), with the deadline the program uses.
        QVERIFY(!ChildProcess::pageHelperProgram().isEmpty());
        PreviewPictures::setShared(std::make_unique<PreviewPictures>(PreviewRenderer::createDefault()));
    }

    void cleanupTestCase() { PreviewPictures::setShared(nullptr); }

    // Nine levels of ten forms each, and a 30000-pixel-square progressive JPEG, in one group shown as
    // the main window shows it.
    void bombsCostTheHelperNotTheProgram()
    {
        const QString pdf = m_files.file(QStringLiteral("forms.pdf"), HostileFiles::nestedFormsPdf(9, 10));
        const QString jpeg = m_files.file(QStringLiteral("huge.jpg"), HostileFiles::progressiveJpegHeader(30000));
        QVERIFY(QFileInfo(pdf).size() < 8 * 1024);
        QVERIFY(QFileInfo(jpeg).size() < 400);
        const QList<AppItem> items{itemAt(pdf), itemAt(jpeg)};
        AppGroup group;
        group.name = QStringLiteral("Bombs");
        group.apps = items;
        group.iconStyle = AppGroup::IconStyle::Shelf;

        const qint64 residentBefore = statusKiB("VmRSS");
        QSignalSpy arrived(PreviewPictures::shared(), &PreviewPictures::pictureArrived);
        // The event loop keeps turning while the helper works.
        int turns = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&turns] { ++turns; });
        ticker.start(10);

        QWidget window;
        auto *icon = new ComposedGroupIconView(group, GroupIconFrame::cardSide, nullptr, &window);
        auto *pdfView = new ItemThumbnail(items.at(0), &window);
        pdfView->move(60, 0);
        auto *jpegView = new ItemThumbnail(items.at(1), &window);
        jpegView->move(120, 0);
        QElapsedTimer shown;
        shown.start();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Drawn at once, with the badges standing in for the pictures.
        QVERIFY(icon->isComposed());
        QVERIFY(shown.elapsed() < 5000);
        QCOMPARE(pdfView->currentPicture(), ItemPreview::drawFileTypeBadge(QStringLiteral("pdf"), AppItem::Kind::File));
        QCOMPARE(jpegView->currentPicture(), ItemPreview::drawFileTypeBadge(QStringLiteral("jpg"), AppItem::Kind::File));

        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 2, kDeadlineMs);
        const qint64 waitedMs = shown.elapsed();
        // Turning all along: at least a turn for every 100 ms waited (the ticker asks for ten).
        QVERIFY2(turns >= waitedMs / 100, qPrintable(QStringLiteral("%1 turns in %2 ms").arg(turns).arg(waitedMs)));

        // Neither gave a picture: both keep their badges, and the icon is composed again for them.
        for (const AppItem &item : items) {
            const auto kind = PreviewPictures::kindForExtension(ItemPreview::pathExtension(item.path));
            QCOMPARE(PreviewPictures::shared()->lookup(*kind, item.path).state, PreviewPictures::State::Failed);
        }
        QCOMPARE(pdfView->currentPicture(), ItemPreview::drawFileTypeBadge(QStringLiteral("pdf"), AppItem::Kind::File));
        QCOMPARE(jpegView->currentPicture(), ItemPreview::drawFileTypeBadge(QStringLiteral("jpg"), AppItem::Kind::File));
        QVERIFY(icon->compositionCount() >= 1);

        // The program's memory: nothing near what decoding either file takes.
        const qint64 peak = statusKiB("VmHWM");
        const qint64 helperPeak = childrenPeakKiB();
        qInfo("program: resident %lld KiB before, peak %lld KiB; largest helper %lld KiB; answers after %lld ms",
              residentBefore, peak, helperPeak, waitedMs);
        QVERIFY2(peak - residentBefore < 300 * 1024, "the program decoded a document itself");
        // The helper ran into its own limits (1 GiB of address space; a checked build looks at its
        // resident size now and then instead), far below what the files ask for (many gigabytes).
        QVERIFY2(helperPeak < 1536 * 1024, "a helper outgrew its memory limit");
    }

    // The helper is ended at its deadline, with everything it started, and says so: the page helper,
    // and the thumbnail helper that draws PDF files where the page helper is missing.
    void theHelperEndsAtItsDeadline_data()
    {
        QTest::addColumn<QString>("pageHelper");
        QTest::newRow("page helper") << ChildProcess::pageHelperProgram();
        QTest::newRow("thumbnail helper") << QString();
    }

    void theHelperEndsAtItsDeadline()
    {
        QFETCH(QString, pageHelper);
        const QString pdf = m_files.file(QStringLiteral("forms-again.pdf"), HostileFiles::nestedFormsPdf(9, 10));
        HelperPreviewRenderer renderer(DesktopThumbnailRenderer::helperProgram(), 300, HelperPreviewRenderer::defaultParallel, QString(),
                                       pageHelper);
        QSignalSpy rendered(&renderer, &PreviewRenderer::rendered);
        QElapsedTimer clock;
        clock.start();
        renderer.render(PreviewRenderer::Kind::PdfPage, pdf);
        QTRY_COMPARE_WITH_TIMEOUT(rendered.count(), 1, kDeadlineMs);
        QVERIFY(rendered.at(0).at(1).value<QImage>().isNull());
        QVERIFY(!rendered.at(0).at(2).toString().isEmpty());
        QCOMPARE(renderer.runningCount(), 0);
    }

    // Thousands of renders wait behind three helpers; then the helper can no longer be started.
    // Every waiting render is answered, from the event loop and as one worth asking again later,
    // without the stack growing with the queue, and no descriptor stays open once the last is in.
    void helperThatCannotStartAnswersEveryWaitingRender()
    {
        const QString fifo = m_files.path(QStringLiteral("go"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString ready = m_files.path(QStringLiteral("ready"));
        QVERIFY(QDir().mkpath(ready));
        const QString helper = m_files.file(QStringLiteral("vanishing-helper"), "#!/bin/sh\ntouch '" + ready.toUtf8() + "/'$$\nread line < '"
                                                                             + fifo.toUtf8() + "'\n");
        QVERIFY(QFile::setPermissions(helper, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        // Held open until every answer is in: a helper that opens the pipe only after the others
        // have read their word and gone still finds its word there, as a pipe nobody holds open
        // drops what is in it.
        QFile go(fifo);
        QVERIFY(go.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        const int descriptorsBefore = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());

        constexpr int waiting = 20000;
        HelperPreviewRenderer renderer(helper, 3600 * 1000, 3);
        int answers = 0;
        int transient = 0;
        quintptr lowestStack = std::numeric_limits<quintptr>::max();
        quintptr highestStack = 0;
        int descriptorsAtLast = -1;
        connect(&renderer, &PreviewRenderer::rendered, this,
                [&](const QString &, const QImage &, const QString &, bool again) {
                    const char here = 0;
                    lowestStack = std::min(lowestStack, quintptr(&here));
                    highestStack = std::max(highestStack, quintptr(&here));
                    ++answers;
                    transient += again ? 1 : 0;
                    if (answers == waiting + 3)
                        descriptorsAtLast = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
                });
        const QString document = m_files.file(QStringLiteral("waiting.png"), "not a picture");
        for (int i = 0; i < waiting + 3; ++i)
            renderer.render(PreviewRenderer::Kind::Picture, document);
        QCOMPARE(renderer.runningCount(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(ready).entryList(QDir::Files).size(), 3, kDeadlineMs);
        QVERIFY(QFile::remove(helper));
        // The three helpers read a word each and go.
        QCOMPARE(go.write("go\ngo\ngo\n"), qint64(9));
        QTRY_COMPARE_WITH_TIMEOUT(answers, waiting + 3, kDeadlineMs);
        QCOMPARE(transient, waiting);
        QCOMPARE(renderer.runningCount(), 0);
        QVERIFY2(highestStack - lowestStack < 256 * 1024, "answers came from ever deeper in the stack");
        QCOMPARE(descriptorsAtLast, descriptorsBefore);
    }

    // A group of many panoramas and tall strips, shown and put away as the popup shows a group of
    // hundreds: each picture keeps a whole side of 2048 pixels at its card's scale, yet what the
    // program keeps of them all stays within the pictures' budget, and the latest are at hand.
    void widePicturesStayWithinTheBudget()
    {
        QList<AppItem> items;
        for (const QSize size : {QSize(4000, 300), QSize(300, 4000)}) {
            QImage picture(size, QImage::Format_RGB32);
            QPainter p(&picture);
            QLinearGradient gradient(0, 0, size.width(), size.height());
            gradient.setColorAt(0, QColor(240, 160, 90));
            gradient.setColorAt(1, QColor(40, 80, 160));
            p.fillRect(picture.rect(), gradient);
            p.end();
            const QString first = m_files.path(QStringLiteral("strip-%1x%2-0.png").arg(size.width()).arg(size.height()));
            QVERIFY(picture.save(first, "png"));
            for (int i = 0; i < 70; ++i) {
                const QString path = m_files.path(QStringLiteral("strip-%1x%2-%3.png").arg(size.width()).arg(size.height()).arg(i));
                QVERIFY(i == 0 || QFile::copy(first, path));
                items.append(itemAt(path));
            }
        }
        QSignalSpy arrived(PreviewPictures::shared(), &PreviewPictures::pictureArrived);
        QWidget window;
        window.resize(700, 700);
        for (int i = 0; i < items.size(); ++i)
            (new ItemThumbnail(items.at(i), &window))->setGeometry((i % 14) * 50, (i / 14) * 50, 50, 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto arrivedPaths = [&arrived] {
            QSet<QString> paths;
            for (const QList<QVariant> &signal : std::as_const(arrived))
                paths.insert(signal.at(0).toString());
            return paths;
        };
        QTRY_COMPARE_WITH_TIMEOUT(arrivedPaths().size(), items.size(), 4 * kDeadlineMs);
        // Each was decoded once: none was dropped before its view drew it.
        QCOMPARE(arrived.count(), items.size());
        window.hide();
        const qsizetype kept = PreviewPictures::shared()->keptBytes();
        qInfo("%lld KiB of pictures kept for %lld documents", qlonglong(kept / 1024), qlonglong(items.size()));
        QVERIFY2(kept <= PreviewPictures::byteLimit, qPrintable(QString::number(kept)));
        const QString latest = items.last().path;
        QCOMPARE(PreviewPictures::shared()->lookup(PreviewPictures::Kind::Picture, latest).state, PreviewPictures::State::Ready);
    }

    // Ordinary documents: the very pixels their pictures had when they were decoded in the program.
    void ordinaryDocumentsKeepTheirPixels()
    {
        const QString photo = m_files.path(QStringLiteral("photo.jpg"));
        {
            QImage picture(900, 600, QImage::Format_RGB32);
            QPainter p(&picture);
            QLinearGradient gradient(0, 0, 900, 600);
            gradient.setColorAt(0, QColor(240, 160, 90));
            gradient.setColorAt(1, QColor(40, 80, 160));
            p.fillRect(picture.rect(), gradient);
            p.end();
            QVERIFY(picture.save(photo, "jpg", 90));
        }
        const QString translucent = m_files.path(QStringLiteral("glass.png"));
        {
            QImage picture(120, 80, QImage::Format_ARGB32);
            picture.fill(QColor(30, 200, 120, 90));
            QVERIFY(picture.save(translucent, "png"));
        }
        const QString page = m_files.path(QStringLiteral("page.pdf"));
        {
            QPdfWriter writer(page);
            writer.setPageSize(QPageSize(QPageSize::A4));
            QPainter p(&writer);
            p.fillRect(QRect(0, 0, p.viewport().width(), p.viewport().height() / 5), QColor(30, 90, 200));
        }
        const QList<AppItem> items{itemAt(photo), itemAt(translucent), itemAt(page)};
        bool drawn = false;
        PreviewPictures::shared()->whenDrawn(items, kDeadlineMs, this, [&drawn] { drawn = true; });
        QTRY_VERIFY_WITH_TIMEOUT(drawn, kDeadlineMs);
        for (const AppItem &item : items) {
            const QString ext = ItemPreview::pathExtension(item.path);
            const auto kind = PreviewPictures::kindForExtension(ext);
            const std::optional<QImage> inProcess = PreviewDrawing::draw(*kind, item.path);
            QVERIFY(inProcess);
            QCOMPARE(itemThumbnail(item), ItemPreview::drawPhotoCard(*inProcess, ext));
        }
    }
};

KESTROWAN_TEST_MAIN(TestHostileDocuments)
#include "tst_hostiledocuments.moc"
