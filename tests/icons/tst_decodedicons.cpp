// Application icons and skin layers are files other programs and users write: they are decoded by
// the real helper process, never in the program. A vector icon that takes minutes to draw and a
// skin layer whose size alone takes seconds to find leave the program's event loop turning and its
// memory small; the generic symbol stands in until an icon arrives; hundreds of icons cost a few
// helper processes and one decoding each, kept for every later drawing.
#include "Kestrowan/icons/ApplicationIcon.h"
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/DecodedIcons.h"
#include "Platform/linux/DesktopIcons.h"
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/HelperIconDecoder.h"
#include "tests/icons/IconTestSupport.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>


namespace {

using ProcessFigures::childrenPeakKiB;
using ProcessFigures::statusKiB;

constexpr int kDeadlineMs = 120000;

// Counts the turns of the event loop and the longest wait between two of them.
class LoopWatch : public QObject {
public:
    LoopWatch()
    {
        m_clock.start();
        connect(&m_ticker, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.elapsed();
            longestGapMs = std::max(longestGapMs, now - m_last);
            m_last = now;
            ++turns;
        });
        m_ticker.start(10);
    }
    qint64 elapsedMs() const { return m_clock.elapsed(); }
    int turns = 0;
    qint64 longestGapMs = 0;

private:
    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
};

AppItem applicationEntry(const QString &folder, const QString &name, const QString &icon)
{
    const QString path = folder + u'/' + name + QStringLiteral(".desktop");
    writeTestFile(path, QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/true\nIcon=%2\n").arg(name, icon).toUtf8());
    return AppItem{QUuid::createUuid(), QStringLiteral("org.example.") + name, name, path};
}

// A picture file of `side` pixels, one colour with a transparent margin.
QString solidIconFile(const QString &path, int side, const QColor &color)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter(&image).fillRect(QRect(side / 8, side / 8, side * 3 / 4, side * 3 / 4), color);
    image.save(path);
    return path;
}

QString solidSvgFile(const QString &path, const QColor &color)
{
    writeTestFile(path, QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">"
                                       "<rect x=\"8\" y=\"8\" width=\"48\" height=\"48\" fill=\"%1\"/></svg>")
                            .arg(color.name())
                            .toUtf8());
    return path;
}

QColor middleOf(const QImage &image)
{
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// Counts the paints of every widget it watches.
class PaintCounter final : public QObject {
public:
    explicit PaintCounter(QHash<QObject *, int> *paints) : m_paints(paints) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++(*m_paints)[watched];
        return false;
    }

private:
    QHash<QObject *, int> *m_paints;
};

QImage genericAt(int pixels)
{
    return DesktopIcons::genericApplication().pixmap(QSize(pixels, pixels)).toImage();
}

} // namespace

class TestDecodedIcons : public QObject {
    Q_OBJECT

    QTemporaryDir m_files;
    HelperIconDecoder *m_decoder = nullptr;

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
        auto decoder = std::make_unique<HelperIconDecoder>(ChildProcess::iconHelperProgram());
        m_decoder = decoder.get();
        DecodedIcons::setShared(std::make_unique<DecodedIcons>(std::move(decoder)));
    }

    void cleanupTestCase() { DecodedIcons::setShared(nullptr); }

    // A desktop entry naming a vector icon of half a megabyte that takes minutes to draw, beside an
    // ordinary one, in the views that show applications.
    void aHostileIconCostsTheHelperNotTheProgram()
    {
        const QByteArray bytes = HostileFiles::strokedPathsSvg(300, 200);
        QVERIFY2(bytes.size() > 400 * 1024 && bytes.size() < DesktopIcons::scalableIconSizeLimit, qPrintable(QString::number(bytes.size())));
        const QString svg = m_files.filePath(QStringLiteral("strokes.svg"));
        writeTestFile(svg, bytes);
        const AppItem hostile = applicationEntry(m_files.path(), QStringLiteral("Strokes"), svg);
        const AppItem plain = applicationEntry(m_files.path(), QStringLiteral("Plain"),
                                               solidIconFile(m_files.filePath(QStringLiteral("plain.png")), 256, QColor(200, 30, 40)));
        AppGroup group;
        group.name = QStringLiteral("Hostile");
        group.apps = {hostile, plain};

        const qint64 residentBefore = statusKiB("VmRSS");
        LoopWatch loop;
        QWidget window;
        auto *hostileView = new ItemThumbnail(hostile, &window);
        hostileView->setFixedSize(50, 50);
        auto *plainView = new ItemThumbnail(plain, &window);
        plainView->setFixedSize(50, 50);
        plainView->move(60, 0);
        auto *icon = new ComposedGroupIconView(group, GroupIconFrame::cardSide, nullptr, &window);
        icon->move(0, 60);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Drawn at once, with the generic symbol standing in for both.
        QVERIFY(icon->isComposed());
        QCOMPARE(hostileView->currentPicture(), genericAt(50));

        // The ordinary icon arrives and is drawn; the hostile one ends its helper and is never drawn.
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(plainView->currentPicture()), QColor(200, 30, 40), kDeadlineMs);
        QTRY_COMPARE_WITH_TIMEOUT(DecodedIcons::shared()->lookup(svg, 50).state, DecodedIcons::State::Failed, kDeadlineMs);
        const qint64 waitedMs = loop.elapsedMs();
        QCOMPARE(hostileView->currentPicture(), genericAt(50));
        // The group icon was drawn again once the ordinary icon was in.
        QTRY_VERIFY_WITH_TIMEOUT(icon->compositionCount() >= 2, kDeadlineMs);

        // The event loop turned all along: at least a turn for every 100 ms waited (ten are asked for).
        QVERIFY2(loop.turns >= waitedMs / 100, qPrintable(QStringLiteral("%1 turns in %2 ms").arg(loop.turns).arg(waitedMs)));
        const qint64 peak = statusKiB("VmHWM");
        qInfo("hostile icon: program resident %lld KiB before, peak %lld KiB; largest helper %lld KiB; "
              "longest main-thread stall %lld ms; answers after %lld ms",
              residentBefore, peak, childrenPeakKiB(), loop.longestGapMs, waitedMs);
        QVERIFY2(peak - residentBefore < 200 * 1024, "the program drew the icon itself");
        QVERIFY2(childrenPeakKiB() < 1536 * 1024, "a helper outgrew its memory limit");

        // A file that gave no picture is not asked for again until it changes, however often drawn.
        const int requests = DecodedIcons::shared()->requestCount();
        for (int i = 0; i < 50; ++i) {
            hostileView->update();
            QCOMPARE(ApplicationIcon::of(hostile, 50).pending, false);
            QCoreApplication::processEvents();
        }
        QCOMPARE(DecodedIcons::shared()->requestCount(), requests);
        // Every helper ends.
        QTRY_COMPARE_WITH_TIMEOUT(m_decoder->runningCount(), 0, kDeadlineMs);
    }

    // A skin whose one layer is a kilobyte of nested uses without a size, beside a plain layer.
    void aHostileSkinLayerCostsTheHelperNotTheProgram()
    {
        const QString skins = m_files.filePath(QStringLiteral("Skins"));
        const QString folder = skins + QStringLiteral("/nested");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray nested = HostileFiles::nestedUseSvg(13);
        QVERIFY2(nested.size() < 2048, qPrintable(QString::number(nested.size())));
        writeTestFile(folder + QStringLiteral("/nested.svg"), nested);
        QImage plainLayer(512, 512, QImage::Format_ARGB32_Premultiplied);
        plainLayer.fill(QColor(20, 160, 60));
        QVERIFY(plainLayer.save(folder + QStringLiteral("/plain.png")));
        const QJsonObject skin{{"id", "nested"}, {"name", "Nested"}, {"version", 1}, {"canvasSize", 512},
                               {"layers", QJsonArray{QJsonObject{{"imageName", "plain.png"}, {"zOrder", "background"}, {"opacity", 1}, {"blendMode", "normal"}},
                                                     QJsonObject{{"imageName", "nested.svg"}, {"zOrder", "midground"}, {"opacity", 1}, {"blendMode", "normal"}}}},
                               {"slots", QJsonArray{}}};
        writeTestFile(folder + QStringLiteral("/skin.json"), QJsonDocument(skin).toJson());
        SkinManager manager(skins, QString());
        QVERIFY(manager.skinWithID(QStringLiteral("nested")));
        AppGroup group;
        group.name = QStringLiteral("Nested");
        group.iconStyle = AppGroup::IconStyle::Skin;
        group.skinId = QStringLiteral("nested");

        const qint64 residentBefore = statusKiB("VmRSS");
        LoopWatch loop;
        QWidget window;
        auto *icon = new ComposedGroupIconView(group, GroupIconFrame::cardSide, &manager, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(icon->isComposed());
        const QString layer = QFileInfo(folder + QStringLiteral("/nested.svg")).canonicalFilePath();
        QTRY_COMPARE_WITH_TIMEOUT(DecodedIcons::shared()->lookup(layer, 512, DecodedIcons::Fit::Stretch).state,
                                  DecodedIcons::State::Failed, kDeadlineMs);
        const qint64 waitedMs = loop.elapsedMs();
        // The plain layer is drawn once it is in; the nested one is left out.
        QTRY_VERIFY_WITH_TIMEOUT(icon->compositionCount() >= 2, kDeadlineMs);
        // Beside the faint symbol an icon without items shows in its middle.
        const QImage drawn = icon->currentPicture();
        QVERIFY(sameColor(drawn.pixelColor(drawn.width() / 5, drawn.height() / 2), QColor(20, 160, 60), 8));
        QVERIFY2(loop.turns >= waitedMs / 100, qPrintable(QStringLiteral("%1 turns in %2 ms").arg(loop.turns).arg(waitedMs)));
        const qint64 peak = statusKiB("VmHWM");
        qInfo("hostile skin layer: program resident %lld KiB before, peak %lld KiB; largest helper %lld KiB; "
              "longest main-thread stall %lld ms; answers after %lld ms",
              residentBefore, peak, childrenPeakKiB(), loop.longestGapMs, waitedMs);
        // Composed many times more, the failed layer is not asked for again.
        const int requests = DecodedIcons::shared()->requestCount();
        for (int i = 0; i < 20; ++i) {
            const QImage again = IconComposer::composeGroupIcon({}, AppGroup::IconStyle::Skin, manager.skinWithID(QStringLiteral("nested")), &manager);
            QVERIFY(sameColor(pointColor(again, 100, 256), QColor(20, 160, 60), 8));
        }
        QCOMPARE(DecodedIcons::shared()->requestCount(), requests);
    }

    // A hundred applications, each with an icon of its own in the formats applications install,
    // drawn at two sizes: one request per file, a few helpers, and the right pixels, kept for
    // every later drawing.
    void manyIconsAreDecodedOnceEachInFewHelpers()
    {
        const QString folder = m_files.filePath(QStringLiteral("many"));
        QVERIFY(QDir().mkpath(folder));
        QList<AppItem> apps;
        QList<QColor> colors;
        for (int i = 0; i < 100; ++i) {
            const QColor color = QColor::fromHsv(i * 3, 200, 220);
            const QString icon = i % 4 == 3 ? solidSvgFile(folder + QStringLiteral("/icon%1.svg").arg(i), color)
                                            : solidIconFile(folder + QStringLiteral("/icon%1.png").arg(i), 48 << (i % 3), color);
            apps.append(applicationEntry(folder, QStringLiteral("App%1").arg(i), icon));
            colors.append(color);
        }
        const int startedBefore = m_decoder->startedCount();
        const int requestsBefore = DecodedIcons::shared()->requestCount();
        // Two views' sizes asked for in one turn of the event loop.
        for (const AppItem &app : std::as_const(apps)) {
            QVERIFY(ApplicationIcon::of(app, 32).pending);
            QVERIFY(ApplicationIcon::of(app, 50).pending);
        }
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(apps.cbegin(), apps.cend(), [](const AppItem &app) {
                                     return ApplicationIcon::of(app, 32).pending || ApplicationIcon::of(app, 50).pending;
                                 }),
                                 kDeadlineMs);
        QCOMPARE(DecodedIcons::shared()->requestCount() - requestsBefore, 100);
        const int helpers = m_decoder->startedCount() - startedBefore;
        // Drawn side by side, a batch to a helper at the most.
        QVERIFY2(helpers <= std::max(HelperIconDecoder::defaultParallel, (100 + HelperIconDecoder::defaultBatch - 1) / HelperIconDecoder::defaultBatch),
                 qPrintable(QStringLiteral("%1 helpers").arg(helpers)));
        for (int round = 0; round < 5; ++round) {
            for (qsizetype i = 0; i < apps.size(); ++i) {
                for (const int pixels : {32, 50}) {
                    const ApplicationIcon::Picture picture = ApplicationIcon::of(apps.at(i), pixels);
                    QVERIFY(!picture.pending);
                    QVERIFY2(std::max(picture.image.width(), picture.image.height()) <= pixels, qPrintable(QString::number(i)));
                    QVERIFY2(sameColor(middleOf(picture.image), colors.at(i), 6), qPrintable(QString::number(i)));
                }
            }
        }
        QCOMPARE(DecodedIcons::shared()->requestCount() - requestsBefore, 100);
        QCOMPARE(m_decoder->startedCount() - startedBefore, helpers);
        QVERIFY(DecodedIcons::shared()->keptBytes() <= DecodedIcons::byteBudget);
    }

    // A window of many items draws each stand-in once and again only when its own icon comes in,
    // not once for every icon that arrives, and each view then shows its icon.
    void aStandInIsDrawnAgainOnlyForItsOwnIcon()
    {
        const QString folder = m_files.filePath(QStringLiteral("strip"));
        QVERIFY(QDir().mkpath(folder));
        QWidget window;
        QList<PictureView *> views;
        QList<QColor> colors;
        QHash<QObject *, int> paints;
        PaintCounter counter(&paints);
        for (int i = 0; i < 60; ++i) {
            const QColor color = QColor::fromHsv(i * 6, 220, 230);
            const AppItem app = applicationEntry(folder, QStringLiteral("Strip%1").arg(i),
                                                 solidIconFile(folder + QStringLiteral("/strip%1.png").arg(i), 128, color));
            PictureView *view = i % 2 ? static_cast<PictureView *>(new ItemThumbnail(app, &window))
                                      : static_cast<PictureView *>(new CompactItemThumbnail(app, &window));
            view->setFixedSize(40, 40);
            view->move((i % 10) * 44, (i / 10) * 44);
            view->installEventFilter(&counter);
            views.append(view);
            colors.append(color);
        }
        window.resize(440, 264);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (qsizetype i = 0; i < views.size(); ++i)
            QTRY_VERIFY2_WITH_TIMEOUT(sameColor(middleOf(views.at(i)->currentPicture()), colors.at(i), 12), qPrintable(QString::number(i)),
                                      kDeadlineMs);
        int most = 0;
        int all = 0;
        for (PictureView *view : std::as_const(views)) {
            most = std::max(most, paints.value(view));
            all += paints.value(view);
        }
        // Drawn with the stand-in, then with the icon; a paint more from the window is fair.
        const QString figures = QStringLiteral("%1 paints of %2 views, at most %3 of one").arg(all).arg(views.size()).arg(most);
        QVERIFY2(all <= 3 * views.size() && most <= 4, qPrintable(figures));
    }

    // A helper that runs out its time on one file answers for the files before it, and those after
    // it go to another helper.
    void aHelperThatEndsCostsOnlyTheFileItWasOn()
    {
        const QString hostile = m_files.filePath(QStringLiteral("strokes-again.svg"));
        writeTestFile(hostile, HostileFiles::strokedPathsSvg(300, 200));
        QList<IconDecoder::Request> requests;
        for (int i = 0; i < 4; ++i) {
            const QString path = i == 1 ? hostile : solidIconFile(m_files.filePath(QStringLiteral("batch%1.png").arg(i)), 64, QColor(10, 20 * i, 200));
            requests.append({path, {48}, IconDecoder::Fit::Within});
        }
        // A deadline the ordinary files meet by far, even in a checked build on a busy machine.
        HelperIconDecoder decoder(ChildProcess::iconHelperProgram(), 5000);
        QSignalSpy decoded(&decoder, &IconDecoder::decoded);
        decoder.decode(requests);
        QTRY_COMPARE_WITH_TIMEOUT(decoded.count(), 4, kDeadlineMs);
        QVERIFY(decoder.startedCount() >= 2);
        // The helper that gave the last answer may still be on its way out: it is collected once it
        // has ended, not when its answer is read.
        QTRY_COMPARE_WITH_TIMEOUT(decoder.runningCount(), 0, kDeadlineMs);
        for (const QList<QVariant> &answer : std::as_const(decoded)) {
            const auto request = answer.at(0).value<IconDecoder::Request>();
            const auto pictures = answer.at(1).value<QList<QImage>>();
            QCOMPARE(pictures.isEmpty(), request.path == hostile);
            QCOMPARE(answer.at(3).toBool(), false);
            if (request.path != hostile)
                QCOMPARE(pictures.first().size(), QSize(48, 48));
        }
    }

    // A Sync All asks for the next folders' icons a few at a time, each slice as the last comes in:
    // the slices go to the helper already running, which goes once nothing more comes, and a path
    // no helper could be handed is refused without one.
    void filesAskedForWhileAHelperRunsGoToIt()
    {
        HelperIconDecoder decoder(ChildProcess::iconHelperProgram());
        QSignalSpy decoded(&decoder, &IconDecoder::decoded);
        constexpr int kSlices = 8;
        constexpr int kSlice = 6;
        int asked = 0;
        const auto askSlice = [&] {
            QList<IconDecoder::Request> slice;
            for (int i = 0; i < kSlice; ++i, ++asked) {
                const QString path = m_files.filePath(QStringLiteral("slice%1.png").arg(asked));
                slice.append({solidIconFile(path, 64 + asked % 3 * 32, QColor::fromHsv(asked * 7 % 360, 200, 220)), {40}, IconDecoder::Fit::Within});
            }
            decoder.decode(slice);
        };
        // The next slice is asked for in the turn that brings the last answer of this one.
        connect(&decoder, &IconDecoder::decoded, this, [&] {
            if (decoded.count() == asked && asked < kSlices * kSlice)
                askSlice();
        });
        askSlice();
        QTRY_COMPARE_WITH_TIMEOUT(decoded.count(), kSlices * kSlice, kDeadlineMs);
        for (const QList<QVariant> &answer : std::as_const(decoded))
            QCOMPARE(answer.at(1).value<QList<QImage>>().size(), 1);
        QCOMPARE(decoder.startedCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(decoder.runningCount(), 0, kDeadlineMs);

        const QString tooLong = m_files.path() + u'/' + QString(20000, u'x') + QStringLiteral(".png");
        decoder.decode({{tooLong, {40}, IconDecoder::Fit::Within}});
        QTRY_COMPARE_WITH_TIMEOUT(decoded.count(), kSlices * kSlice + 1, kDeadlineMs);
        QVERIFY(decoded.constLast().at(1).value<QList<QImage>>().isEmpty());
        QCOMPARE(decoder.startedCount(), 1);
    }

    // A folder's Dock icon is drawn once its items' application icons are in, not with the stand-in.
    void aComposedFolderIconWaitsForItsApplicationIcons()
    {
        const AppItem app = applicationEntry(m_files.path(), QStringLiteral("Waited"),
                                             solidIconFile(m_files.filePath(QStringLiteral("waited.png")), 512, QColor(230, 120, 20)));
        const QList<AppItem> items{app};
        PreviewPictures pictures;
        bool drawn = false;
        pictures.whenDrawn(items, kDeadlineMs, this, [&drawn] { drawn = true; }, [items] {
            return IconComposer::pendingPictureFiles(items, AppGroup::IconStyle::Shelf, std::nullopt, nullptr);
        });
        QVERIFY(!drawn);
        QTRY_VERIFY_WITH_TIMEOUT(drawn, kDeadlineMs);
        const QImage icon = IconComposer::composeGroupIcon(items, AppGroup::IconStyle::Shelf);
        QVERIFY2(sameColor(pointColor(icon, 256, 256), QColor(230, 120, 20), 8), qPrintable(colorText(pointColor(icon, 256, 256))));
    }
};

KESTROWAN_TEST_MAIN(TestDecodedIcons)
#include "tst_decodedicons.moc"
