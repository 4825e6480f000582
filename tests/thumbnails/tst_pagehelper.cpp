// The page helper, the light process the program starts for the preview of every PDF file in a
// group, answers exactly as the thumbnail helper, which draws them where the page helper is
// missing: the same bytes and the same end for ordinary, damaged and hostile files alike. The
// renderer sends PDF files to it, to the thumbnail helper when there is none, and it loads none of
// the video libraries that make the thumbnail helper's start slow.
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/HelperPreviewRenderer.h"
#include "Platform/thumbnailhelper/PdfPageDrawing.h"
#include "Platform/thumbnailhelper/PixelTransfer.h"
#include "tests/support/BusyProcesses.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

namespace {

// Hostile files run both helpers to their processor limit, which a checked build reaches slowly.
constexpr int kDeadlineMs = 120000;

// What a file gives: two helpers that both fail to draw a page would agree too.
enum class Outcome { Drawn, Refused, Either };

struct Answer {
    QProcess::ExitStatus status = QProcess::CrashExit;
    int code = -1;
    QByteArray bytes;
};

// Starts `helper` on the preview of `path`; the answer is read by answerOf().
void startPreview(QProcess &process, const QString &helper, const QString &kind, const QString &path)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(helper, {QStringLiteral("--preview"), kind, path});
}

std::optional<Answer> answerOf(QProcess &process)
{
    if (!process.waitForFinished(kDeadlineMs))
        return std::nullopt;
    return Answer{process.exitStatus(), process.exitCode(), process.readAllStandardOutput()};
}

// A PDF file of the pages QPdfWriter draws: `pages` pages of text, colour, a gradient and a
// translucent shape, the first `firstPage` in size.
void writePdf(const QString &path, const QPageSize &firstPage, int pages)
{
    QPdfWriter writer(path);
    writer.setPageSize(firstPage);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p(&writer);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) {
            writer.setPageSize(QPageSize(QPageSize::A5));
            writer.newPage();
        }
        const QRect area = p.viewport();
        QLinearGradient gradient(area.topLeft(), area.bottomRight());
        gradient.setColorAt(0, QColor(240, 160, 90));
        gradient.setColorAt(1, QColor(40, 80, 160 + page * 20));
        p.fillRect(QRect(area.left(), area.top(), area.width(), area.height() / 3), gradient);
        p.setBrush(QColor(30, 200, 120, 90));
        p.drawEllipse(area.center(), area.width() / 3, area.height() / 4);
        QFont font = p.font();
        font.setPointSize(28);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(area.adjusted(40, area.height() / 2, -40, -40), Qt::TextWordWrap,
                   QStringLiteral("Page %1: the quick brown fox jumps over the lazy dog.").arg(page + 1));
    }
}

} // namespace

Q_DECLARE_METATYPE(Outcome)

class TestPageHelper : public QObject {
    Q_OBJECT

    ScratchFolder m_files;
    QString m_pageHelper;
    QString m_thumbnailHelper;
    QString m_heavyPage;
    std::optional<Answer> m_heavyAnswer;
    int m_heavyRuns = 0;
    QString m_forms;

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        m_pageHelper = ChildProcess::pageHelperProgram();
        m_thumbnailHelper = ChildProcess::helperProgram();
        QVERIFY(!m_pageHelper.isEmpty());
        QVERIFY(!m_thumbnailHelper.isEmpty());
    }

    void sameAnswerAsTheThumbnailHelper_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Outcome>("outcome");

        const QString a4 = m_files.path(QStringLiteral("a4.pdf"));
        writePdf(a4, QPageSize(QPageSize::A4), 1);
        QTest::newRow("one page") << a4 << Outcome::Drawn;
        const QString many = m_files.path(QStringLiteral("many.pdf"));
        writePdf(many, QPageSize(QSizeF(842, 595), QPageSize::Point), 5);
        QTest::newRow("many pages, the first one wide") << many << Outcome::Drawn;
        const QString tall = m_files.path(QStringLiteral("tall.pdf"));
        writePdf(tall, QPageSize(QSizeF(200, 2000), QPageSize::Point), 2);
        QTest::newRow("a tall strip") << tall << Outcome::Drawn;

        QTest::newRow("not a PDF") << m_files.file(QStringLiteral("garbage.pdf"), "%PDF-1.4 and then nothing that makes sense")
                                   << Outcome::Refused;
        QTest::newRow("a page without area")
            << m_files.file(QStringLiteral("empty-box.pdf"), "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
                                                             "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj\n"
                                                             "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 0 0] >> endobj\n"
                                                             "trailer << /Root 1 0 R >>\n%%EOF\n")
            << Outcome::Either;
        QTest::newRow("a picture named like a PDF") << m_files.file(QStringLiteral("picture.pdf"), HostileFiles::blankPng(64, 64))
                                                    << Outcome::Refused;
        QTest::newRow("missing") << m_files.path(QStringLiteral("missing.pdf")) << Outcome::Refused;
        const QString fifo = m_files.path(QStringLiteral("fifo.pdf"));
        ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
        QTest::newRow("a fifo nobody writes to") << fifo << Outcome::Refused;
        const QString huge = m_files.path(QStringLiteral("huge.pdf"));
        HostileFiles::writeSparseFile(huge, readTestFile(a4), 300LL * 1024 * 1024);
        QTest::newRow("too large to read") << huge << Outcome::Refused;
        QTest::newRow("nested forms") << m_files.file(QStringLiteral("forms.pdf"), HostileFiles::nestedFormsPdf(9, 10)) << Outcome::Refused;
    }

    void sameAnswerAsTheThumbnailHelper()
    {
        QFETCH(QString, path);
        QFETCH(Outcome, outcome);
        // Side by side: a hostile file takes each helper to its processor limit.
        QProcess page;
        QProcess thumbnail;
        startPreview(page, m_pageHelper, QStringLiteral("pdf"), path);
        startPreview(thumbnail, m_thumbnailHelper, QStringLiteral("pdf"), path);
        const std::optional<Answer> fromPage = answerOf(page);
        const std::optional<Answer> fromThumbnail = answerOf(thumbnail);
        QVERIFY(fromPage && fromThumbnail);
        QCOMPARE(fromPage->status, fromThumbnail->status);
        QCOMPARE(fromPage->code, fromThumbnail->code);
        QVERIFY(fromPage->bytes == fromThumbnail->bytes);
        const bool drawn = fromPage->status == QProcess::NormalExit && fromPage->code == 0;
        if (outcome != Outcome::Either)
            QCOMPARE(drawn, outcome == Outcome::Drawn);
        if (drawn) {
            const QImage picture = PixelTransfer::decode(fromPage->bytes);
            QVERIFY(!picture.isNull());
            QCOMPARE(picture, *PdfPageDrawing::firstPage(path));
        } else {
            QVERIFY(fromPage->bytes.isEmpty());
        }
        // A file that gives no picture says so, whichever file it is: a helper ended by one of its
        // limits would tell the renderer of a failure, not of a file without a preview.
        if (outcome == Outcome::Refused) {
            QCOMPARE(fromPage->status, QProcess::NormalExit);
            QCOMPARE(fromPage->code, 1);
        }
    }

    // A file that keeps the reader drawing gives the same answer every time, "no preview", however
    // many helpers draw beside each other (as a group of such files starts them): a bound of the
    // drawing's own, never whichever of the process's limits comes first.
    // Twenty helpers, four at a time, a row for each four: a checked build on a busy machine takes
    // half a minute for four.
    void nestedFormsGiveNoPreviewEveryTime_data()
    {
        QTest::addColumn<int>("first");
        for (int first = 1; first <= 20; first += 4)
            QTest::addRow("helpers %d-%d", first, first + 3) << first;
    }

    void nestedFormsGiveNoPreviewEveryTime()
    {
        QFETCH(int, first);
        if (m_forms.isEmpty())
            m_forms = m_files.file(QStringLiteral("forms-again.pdf"), HostileFiles::nestedFormsPdf(9, 10));
        constexpr int together = 4;
        QProcess helpers[together];
        for (QProcess &helper : helpers)
            startPreview(helper, m_pageHelper, QStringLiteral("pdf"), m_forms);
        for (int i = 0; i < together; ++i) {
            const std::optional<Answer> answer = answerOf(helpers[i]);
            QVERIFY2(answer, qPrintable(QStringLiteral("helper %1 gave no answer").arg(first + i)));
            QVERIFY2(answer->status == QProcess::NormalExit && answer->code == 1,
                     qPrintable(QStringLiteral("helper %1: %2 %3").arg(first + i)
                                    .arg(answer->status == QProcess::NormalExit ? "exit" : "crash").arg(answer->code)));
            QVERIFY(answer->bytes.isEmpty());
        }
    }

    // A page that takes the reader hundreds of megabytes, and more address space still for a moment
    // near its end, gives one answer however busy the machine is: the memory it may take is the
    // address space limit's, which refuses the same allocation every time, not a look at the
    // process that the load decides the moment of. Twenty runs with every processor kept busy, in
    // rows that a checked build on a loaded machine gets through well within their time.
    void aHeavyPageGivesTheSameAnswerUnderLoad_data()
    {
        QTest::addColumn<int>("runs");
        for (int row = 1; row <= 4; ++row)
            QTest::addRow("runs %d-%d", row * 5 - 4, row * 5) << 5;
    }

    void aHeavyPageGivesTheSameAnswerUnderLoad()
    {
        QFETCH(int, runs);
        if (m_heavyPage.isEmpty())
            m_heavyPage = m_files.file(QStringLiteral("saved-states.pdf"), HostileFiles::nestedStatesPdf(2000000));
        BusyProcesses load;
        load.start(QThread::idealThreadCount());
        for (int run = 0; run < runs; ++run) {
            ++m_heavyRuns;
            QProcess helper;
            startPreview(helper, m_pageHelper, QStringLiteral("pdf"), m_heavyPage);
            const std::optional<Answer> answer = answerOf(helper);
            QVERIFY2(answer, qPrintable(QStringLiteral("run %1 gave no answer").arg(m_heavyRuns)));
            const auto described = [](const Answer &a) {
                return a.status != QProcess::NormalExit ? QStringLiteral("a crash")
                    : a.code == 0                        ? QStringLiteral("a picture of %1 bytes").arg(a.bytes.size())
                                                         : QStringLiteral("exit %1").arg(a.code);
            };
            // A picture, or "no preview": never a helper ended by one of its limits.
            QVERIFY2(answer->status == QProcess::NormalExit && (answer->code == 0 || answer->code == 1),
                     qPrintable(QStringLiteral("run %1: %2").arg(m_heavyRuns).arg(described(*answer))));
            if (!m_heavyAnswer) {
                m_heavyAnswer = answer;
                qInfo("run %d: %s", m_heavyRuns, qPrintable(described(*answer)));
                continue;
            }
            QVERIFY2(answer->code == m_heavyAnswer->code && answer->bytes == m_heavyAnswer->bytes,
                     qPrintable(QStringLiteral("run %1: %2, the first run: %3")
                                    .arg(m_heavyRuns)
                                    .arg(described(*answer), described(*m_heavyAnswer))));
        }
    }

    // It draws PDF pages only; anything else it does not understand.
    void otherRequestsAreRefused()
    {
        const QString pdf = m_files.path(QStringLiteral("request.pdf"));
        writePdf(pdf, QPageSize(QPageSize::A4), 1);
        for (const QStringList &arguments : {QStringList{}, QStringList{QStringLiteral("--preview"), QStringLiteral("video"), pdf},
                                             QStringList{QStringLiteral("--preview"), QStringLiteral("picture"), pdf},
                                             QStringList{QStringLiteral("--preview"), QStringLiteral("pdf")},
                                             QStringList{QStringLiteral("--preview"), QStringLiteral("pdf"), pdf, pdf},
                                             QStringList{pdf, m_files.path(QStringLiteral("out.png")), QStringLiteral("64"), QStringLiteral("64")}}) {
            QProcess process;
            process.start(m_pageHelper, arguments);
            QVERIFY(process.waitForFinished(kDeadlineMs));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 2);
            QVERIFY(process.readAllStandardOutput().isEmpty());
        }
    }

    // The renderer sends a PDF file to the page helper, with the thumbnail helper as the fallback
    // when there is none; videos stay with the thumbnail helper.
    void theRendererChoosesThePageHelper()
    {
        const QString pdf = m_files.path(QStringLiteral("routed.pdf"));
        writePdf(pdf, QPageSize(QPageSize::Letter), 2);
        const QImage expected = *PdfPageDrawing::firstPage(pdf);
        // A thumbnail helper that draws nothing and says where it was started.
        const QString asked = m_files.path(QStringLiteral("asked"));
        const QString refusing = m_files.file(QStringLiteral("refusing-helper"),
                                              "#!/bin/sh\necho \"$2\" >> '" + asked.toUtf8() + "'\nexit 1\n");
        QVERIFY(QFile::setPermissions(refusing, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        const auto render = [&pdf](HelperPreviewRenderer &renderer, PreviewRenderer::Kind kind) {
            QSignalSpy rendered(&renderer, &PreviewRenderer::rendered);
            renderer.render(kind, pdf);
            if (rendered.isEmpty())
                rendered.wait(kDeadlineMs);
            return rendered.isEmpty() ? QImage() : rendered.first().at(1).value<QImage>();
        };
        {
            HelperPreviewRenderer renderer(refusing, HelperPreviewRenderer::defaultTimeoutMs * 6, 1, QString(), m_pageHelper);
            QCOMPARE(render(renderer, PreviewRenderer::Kind::PdfPage), expected);
            QVERIFY(readTestFile(asked).isEmpty());
            QVERIFY(render(renderer, PreviewRenderer::Kind::VideoFrame).isNull());
            QCOMPARE(readTestFile(asked), QByteArray("video\n"));
        }
        {
            HelperPreviewRenderer renderer(m_thumbnailHelper, HelperPreviewRenderer::defaultTimeoutMs * 6, 1);
            QCOMPARE(render(renderer, PreviewRenderer::Kind::PdfPage), expected);
        }
    }

    // What makes it start fast: the PDF reader without the video libraries (and what those pull in).
    void loadsNoVideoLibrary()
    {
        const QString ldd = QStandardPaths::findExecutable(QStringLiteral("ldd"));
        if (ldd.isEmpty())
            QSKIP("no ldd on this machine");
        QProcess process;
        process.start(ldd, {m_pageHelper});
        QVERIFY(process.waitForFinished(kDeadlineMs));
        const QByteArray libraries = process.readAllStandardOutput();
        QVERIFY2(libraries.contains("libQt6Pdf"), libraries.constData());
        for (const QByteArray video : {"libavcodec", "libavformat", "libavutil", "libswscale", "libQt6Svg"})
            QVERIFY2(!libraries.contains(video), libraries.constData());
    }
};

KESTROWAN_TEST_MAIN(TestPageHelper)
#include "tst_pagehelper.moc"
