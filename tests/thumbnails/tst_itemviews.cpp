// The item thumbnail views (what they show, when they ask the cache, late answers dropped) and the
// group icon views (skin choice, clip radius, compositions).
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/ItemPreview.h"
#include "Kestrowan/icons/IconComposer.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Platform/fake/CountingThumbnailRenderer.h"
#include "Platform/fake/FakePreviewRenderer.h"
#include "Platform/ThumbnailRenderer.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QPainter>
#include <QTest>

#include <sys/stat.h>

namespace {

AppItem itemAt(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).completeBaseName(), path};
}

// Holds every render until the test lets it through, so answers can be made to arrive late.
class GatedRenderer final : public ThumbnailRenderer {
public:
    QSemaphore gate;
    QImage render(const QString &, const QSize &pixelSize) override
    {
        gate.acquire();
        QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
        return image;
    }
};

} // namespace

class TestItemViews : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::shared_ptr<CountingThumbnailRenderer> m_renderer;

    QString file(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write("contents");
        return path;
    }

    // Lets every answer the cache has queued reach the views.
    void drainCache()
    {
        bool done = false;
        ThumbnailCache::shared().prefetch({}, QSizeF(128, 128), 1, this, [&] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
    }

    void init()
    {
        m_renderer = std::make_shared<CountingThumbnailRenderer>();
        ThumbnailCache::setShared(std::make_unique<ThumbnailCache>(m_dir.filePath(QStringLiteral("cache")), m_renderer));
    }

    void cleanupTestCase() { ThumbnailCache::setShared(nullptr); }

    // A picture, a PDF page or a video frame is decoded out of the program: every view shows the
    // badge at once, nothing waits, and each draws the picture when it comes.
    void documentPicturesArriveLater()
    {
        auto renderer = std::make_unique<FakePreviewRenderer>();
        FakePreviewRenderer *fake = renderer.get();
        PreviewPictures::setShared(std::make_unique<PreviewPictures>(std::move(renderer)));
        const QString photo = file(QStringLiteral("beach.jpg"));
        QImage picture(600, 400, QImage::Format_ARGB32_Premultiplied);
        picture.fill(QColor(20, 140, 200));
        QPainter(&picture).fillRect(QRect(0, 0, 300, 400), QColor(230, 120, 40));
        fake->pictures.insert(photo, picture);
        fake->hold();
        const AppItem item = itemAt(photo);
        AppGroup group;
        group.apps = {item};
        group.iconStyle = AppGroup::IconStyle::Shelf;

        QWidget window;
        auto *thumbnail = new ItemThumbnail(item, &window);
        auto *compact = new CompactItemThumbnail(item, &window);
        compact->move(60, 0);
        auto *icon = new ComposedGroupIconView(group, GroupIconFrame::cardSide, nullptr, &window);
        icon->move(120, 0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage badge = ItemPreview::drawFileTypeBadge(QStringLiteral("jpg"), AppItem::Kind::File);
        QCOMPARE(thumbnail->currentPicture(), badge);
        QCOMPARE(compact->currentPicture(), compact->drawnPicture(badge));
        const QImage iconWithBadge = icon->composedIcon();
        // Asked for once, however many views show it.
        QTRY_COMPARE_WITH_TIMEOUT(fake->requests(), QStringList{photo}, 20000);

        fake->release();
        const QImage card = ItemPreview::drawPhotoCard(picture, QStringLiteral("jpg"));
        QTRY_COMPARE_WITH_TIMEOUT(thumbnail->currentPicture(), card, 20000);
        QCOMPARE(compact->currentPicture(), compact->drawnPicture(card));
        // The picture is kept at the pixels its card draws it with (264 by 176), not as decoded.
        const QImage kept = PreviewPictures::shared()->lookup(PreviewPictures::Kind::Picture, photo).picture;
        QCOMPARE(kept.size(), QSize(264, 176));
        QCOMPARE(ItemPreview::drawPhotoCard(kept, QStringLiteral("jpg")), card);
        QTRY_VERIFY_WITH_TIMEOUT(icon->composedIcon() != iconWithBadge, 20000);
        QCOMPARE(icon->composedIcon(), IconComposer::composeGroupIcon(group.apps, group.iconStyle));
        QCOMPARE(fake->requests().size(), 1);
        PreviewPictures::setShared(nullptr);
    }

    void documentUpgradesFromItsBadge()
    {
        const AppItem pages = itemAt(file(QStringLiteral("Report.pages")));
        ItemThumbnail view(pages);
        view.resize(48, 48);
        QCOMPARE(view.currentPicture(), itemThumbnail(pages)); // the drawn badge first
        view.show();
        QCOMPARE(view.taskKey(), pages.path + QStringLiteral("|1.0"));
        QTRY_VERIFY_WITH_TIMEOUT(view.showsRenderedImage(), 20000);
        QCOMPARE(view.currentPicture().pixelColor(64, 64), m_renderer->color);
        QCOMPARE(m_renderer->count(), 1);
    }

    void wideDocumentFillsItsCell()
    {
        // A vector image twice as wide as high, drawn by this machine's renderer, shown in a popup
        // grid cell: red from edge to edge, no empty band above or below it.
        const QString svg = m_dir.filePath(QStringLiteral("wide.svg"));
        QFile out(svg);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 200 100'><rect width='200' height='100' fill='#ff0000'/></svg>");
        out.close();
        ThumbnailCache::setShared(std::make_unique<ThumbnailCache>(m_dir.filePath(QStringLiteral("real")),
                                                                   ThumbnailRenderer::createDefault()));
        QWidget cell;
        cell.resize(50, 50);
        cell.setStyleSheet(QStringLiteral("background: #0000ff"));
        auto *view = new ItemThumbnail(itemAt(svg), &cell);
        view->setGeometry(0, 0, 50, 50);
        cell.show();
        QTRY_VERIFY_WITH_TIMEOUT(view->showsRenderedImage(), 60000);
        const QImage shown = view->grab().toImage();
        for (const QPoint point : {QPoint(25, 2), QPoint(25, 47), QPoint(2, 25), QPoint(47, 25), QPoint(12, 12), QPoint(38, 38)})
            QCOMPARE(shown.pixelColor(point), QColor(Qt::red));
        ThumbnailCache::setShared(nullptr);
    }

    void fifosNamedLikePicturesShowTheirBadge()
    {
        // A fifo named like a photo, a document or a video in a group: the card strip and the popup cell
        // draw at once, showing the badge of its kind; nothing waits for a writer.
        QWidget window;
        QList<PictureView *> views;
        QList<AppItem> items;
        for (const QString &name : {QStringLiteral("photo.png"), QStringLiteral("paper.pdf"), QStringLiteral("still.jpeg"), QStringLiteral("clip.mp4")}) {
            const QString path = m_dir.filePath(QStringLiteral("fifos/") + name);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            items.append(itemAt(path));
            views.append(new CompactItemThumbnail(items.last(), &window));
            views.append(new ItemThumbnail(items.last(), &window));
        }
        window.show();
        QVERIFY(!window.grab().isNull());
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QImage badge = ItemPreview::drawFileTypeBadge(ItemPreview::pathExtension(items[i].path), AppItem::Kind::File);
            QCOMPARE(views[2 * i]->currentPicture(), views[2 * i]->drawnPicture(badge)); // at the strip's size
            QCOMPARE(views[2 * i + 1]->currentPicture(), badge);
        }
    }

    void noThumbnailKeepsTheBadge()
    {
        const AppItem deck = itemAt(file(QStringLiteral("Deck.PPTX")));
        m_renderer->refuse(deck.path);
        ItemThumbnail view(deck);
        view.show();
        drainCache();
        QCOMPARE(m_renderer->count(), 1); // upper-case extension still asked
        QVERIFY(!view.showsRenderedImage());
        QCOMPARE(view.currentPicture(), itemThumbnail(deck));
    }

    void onlyTheCachesDocumentsAreRequested()
    {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::green);
        const QString png = m_dir.filePath(QStringLiteral("photo.png"));
        picture.save(png);
        QDir().mkpath(m_dir.filePath(QStringLiteral("Folder")));
        const QList<AppItem> items{itemAt(png), itemAt(file(QStringLiteral("paper.pdf"))), itemAt(m_dir.filePath(QStringLiteral("Folder"))),
                                   AppItem{QUuid::createUuid(), QStringLiteral("url:https://example.com/a.key"), QStringLiteral("Web"),
                                           QStringLiteral("https://example.com/a.key")},
                                   itemAt(QStringLiteral("/Applications/Mail.app"))};
        QList<ItemThumbnail *> views;
        QWidget window;
        for (const AppItem &item : items)
            views.append(new ItemThumbnail(item, &window));
        window.show();
        drainCache();
        QCOMPARE(m_renderer->count(), 0);
        for (ItemThumbnail *view : views)
            QVERIFY(!view->showsRenderedImage());
        QVERIFY(views.last()->taskKey().isEmpty()); // an application starts no fetch
        QVERIFY(!views.last()->currentPicture().isNull());
    }

    void lateAnswerForThePreviousItemIsDropped()
    {
        auto gated = std::make_shared<GatedRenderer>();
        ThumbnailCache::setShared(std::make_unique<ThumbnailCache>(m_dir.filePath(QStringLiteral("gated")), gated));
        const AppItem first = itemAt(file(QStringLiteral("First.key")));
        const AppItem second = itemAt(file(QStringLiteral("second.png")));
        ItemThumbnail view(first);
        view.show();
        view.setApp(second); // before the first item's thumbnail came back
        gated->gate.release(4);
        drainCache();
        QVERIFY(!view.showsRenderedImage());
        QCOMPARE(view.currentPicture(), itemThumbnail(second));
        ThumbnailCache::setShared(nullptr);
    }

    void compactViewDrawsThePreviewOfEveryKind()
    {
        const AppItem app = itemAt(QStringLiteral("/Applications/Mail.app"));
        CompactItemThumbnail view(app);
        view.resize(30, 30);
        view.show();
        QCOMPARE(view.currentPicture(), view.drawnPicture(itemThumbnail(app)));
        // Kept at the pixels it is drawn with, not as the preview is made.
        QCOMPARE(view.currentPicture().size(), (QSizeF(30, 30) * view.devicePixelRatioF()).toSize());
        QVERIFY(itemThumbnail(app).width() > 2 * view.currentPicture().width());
        view.resize(40, 40);
        QCOMPARE(view.currentPicture().size(), (QSizeF(40, 40) * view.devicePixelRatioF()).toSize());
        const AppItem deck = itemAt(file(QStringLiteral("Other.key")));
        view.setApp(deck);
        drainCache();
        QCOMPARE(m_renderer->count(), 0);
        QCOMPARE(view.currentPicture(), view.drawnPicture(itemThumbnail(deck)));
    }

    void groupIconSkinChoiceAndClip()
    {
        SkinManager skins(m_dir.filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
        QVERIFY(skins.skinWithID(QStringLiteral("aurora")));
        AppGroup group;
        group.id = QUuid::createUuid();
        group.name = QStringLiteral("Work");
        group.iconStyle = AppGroup::IconStyle::Skin;

        ComposedGroupIconView view(group, GroupIconFrame::cardSide, &skins);
        QCOMPARE(view.cornerRadius(), 11.52);
        QVERIFY(!view.chosenSkin()); // skin style without an id
        QCOMPARE(view.composedIcon().size(), QSize(512, 512)); // the empty-group picture

        group.skinId = QStringLiteral("not-installed");
        view.setGroup(group);
        QVERIFY(!view.chosenSkin());
        group.skinId = QStringLiteral("aurora");
        view.setGroup(group);
        QCOMPARE(view.chosenSkin()->id, QStringLiteral("aurora"));
        group.iconStyle = AppGroup::IconStyle::Shelf; // a leftover id is ignored
        view.setGroup(group);
        QVERIFY(!view.chosenSkin());

        IconStylePreview preview({}, AppGroup::IconStyle::Gradient, GroupIconFrame::editorChoiceSide);
        QCOMPARE(preview.cornerRadius(), 19.2);
        QCOMPARE(preview.size(), QSize(80, 80));
    }

    // A card keeps its icon at the few thousand pixels it is drawn in, not the megabyte of the
    // composition, and shows exactly the composition's pixels scaled down.
    void groupIconsAreKeptAtTheSizeTheyAreDrawn()
    {
        AppGroup group;
        group.apps = {itemAt(QStringLiteral("/Applications/Mail.app"))};
        ComposedGroupIconView view(group, 48, nullptr);
        view.show();
        (void)view.grab();
        const QImage kept = view.currentPicture();
        const QSize drawn = (QSizeF(48, 48) * view.devicePixelRatioF()).toSize();
        QCOMPARE(kept.size(), drawn);
        const QImage expected =
            view.composedIcon().scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(kept, expected);
    }

    void composedOncePerChange()
    {
        AppGroup group;
        group.apps = {itemAt(QStringLiteral("/Applications/Mail.app"))};
        ComposedGroupIconView view(group, 48, nullptr);
        view.show();
        view.grab();
        view.grab();
        QCOMPARE(view.compositionCount(), 1);
        group.iconStyle = AppGroup::IconStyle::Pelko;
        view.setGroup(group);
        view.grab();
        QCOMPARE(view.compositionCount(), 2);
    }

    // A window of many document views, shown, hidden and shown again as the popup is between
    // looks: out of sight its views hold no pictures, and back in sight they draw the same.
    void hiddenViewsHoldNoPictures()
    {
        auto renderer = std::make_unique<FakePreviewRenderer>();
        FakePreviewRenderer *fake = renderer.get();
        PreviewPictures::setShared(std::make_unique<PreviewPictures>(std::move(renderer)));
        QWidget window;
        window.resize(500, 500);
        QList<ItemThumbnail *> views;
        QList<AppItem> items;
        for (int i = 0; i < 100; ++i) {
            const QString photo = file(QStringLiteral("photo-%1.jpg").arg(i));
            QImage picture(300, 200, QImage::Format_ARGB32_Premultiplied);
            picture.fill(QColor::fromHsv(i * 3, 200, 220));
            fake->pictures.insert(photo, picture);
            items.append(itemAt(photo));
            auto *view = new ItemThumbnail(items.last(), &window);
            view->setGeometry((i % 10) * 50, (i / 10) * 50, 50, 50);
            views.append(view);
        }
        const auto keptBytes = [&views] {
            qsizetype bytes = 0;
            for (const ItemThumbnail *view : std::as_const(views))
                bytes += view->keptPictureBytes();
            return bytes;
        };
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        bool drawn = false;
        PreviewPictures::shared()->whenDrawn(items, 20000, this, [&drawn] { drawn = true; });
        QTRY_VERIFY_WITH_TIMEOUT(drawn, 20000);
        const QImage shown = window.grab().toImage();
        QVERIFY(keptBytes() > 0);
        for (int look = 0; look < 3; ++look) {
            window.hide();
            QCOMPARE(keptBytes(), 0);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QCOMPARE(window.grab().toImage(), shown);
        }
        QCOMPARE(fake->requests().size(), items.size()); // drawn again from what was kept
    }

    // Answers for more wide pictures than are kept, all in before any view is drawn: each view still
    // finds its own, so each document is decoded once, and what is kept comes back within the limit.
    void picturesArrivingTogetherAreEachDecodedOnce()
    {
        auto renderer = std::make_unique<FakePreviewRenderer>();
        FakePreviewRenderer *fake = renderer.get();
        PreviewPictures::setShared(std::make_unique<PreviewPictures>(std::move(renderer)));
        QImage strip(4000, 300, QImage::Format_ARGB32_Premultiplied);
        strip.fill(QColor(240, 160, 90));
        const QImage card = ItemPreview::photoCardPicture(strip);
        const int count = int(2 * PreviewPictures::byteLimit / card.sizeInBytes()) + 2;
        QWidget window;
        window.resize(500, 500);
        QList<CompactItemThumbnail *> views;
        for (int i = 0; i < count; ++i) {
            const QString path = file(QStringLiteral("strip-%1.png").arg(i));
            fake->pictures.insert(path, strip);
            auto *view = new CompactItemThumbnail(itemAt(path), &window);
            view->setGeometry((i % 10) * 50, (i / 10) * 50, 50, 50);
            views.append(view);
        }
        fake->hold();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE_WITH_TIMEOUT(fake->requests().size(), count, 20000);
        // Every answer is queued at once: all of them arrive before the window is drawn again.
        fake->release();
        const QImage drawn = views.first()->drawnPicture(ItemPreview::drawPhotoCard(card, QStringLiteral("png")));
        for (CompactItemThumbnail *view : std::as_const(views))
            QTRY_COMPARE_WITH_TIMEOUT(view->currentPicture(), drawn, 20000);
        QCOMPARE(fake->requests().size(), count);
        QVERIFY2(PreviewPictures::shared()->keptBytes() <= PreviewPictures::byteLimit,
                 qPrintable(QString::number(PreviewPictures::shared()->keptBytes())));
        PreviewPictures::setShared(nullptr);
    }

    // A document that gave no picture is not decoded again while it stays as it is, however many
    // other documents pass through the kept pictures meanwhile; changed, it is.
    void failedDocumentIsNotDecodedAgainUntilItChanges()
    {
        auto renderer = std::make_unique<FakePreviewRenderer>();
        FakePreviewRenderer *fake = renderer.get();
        PreviewPictures::setShared(std::make_unique<PreviewPictures>(std::move(renderer)));
        PreviewPictures *pictures = PreviewPictures::shared();
        const QString broken = file(QStringLiteral("broken.jpg"));
        QTRY_COMPARE_WITH_TIMEOUT(pictures->lookup(PreviewPictures::Kind::Picture, broken).state, PreviewPictures::State::Failed, 20000);
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < PreviewPictures::countLimit + 20; ++i) {
                const QString other = file(QStringLiteral("other-%1-%2.jpg").arg(round).arg(i));
                fake->pictures.insert(other, QImage(8, 8, QImage::Format_ARGB32_Premultiplied));
                pictures->lookup(PreviewPictures::Kind::Picture, other);
            }
            QTRY_VERIFY_WITH_TIMEOUT(pictures->lookup(PreviewPictures::Kind::Picture, broken).state == PreviewPictures::State::Failed, 20000);
        }
        QCOMPARE(fake->requests().count(broken), 1);
        QFile changed(broken);
        QVERIFY(changed.open(QIODevice::Append));
        changed.write(" and more");
        changed.close();
        QCOMPARE(pictures->lookup(PreviewPictures::Kind::Picture, broken).state, PreviewPictures::State::Pending);
        QTRY_COMPARE_WITH_TIMEOUT(fake->requests().count(broken), 2, 20000);
    }
};

KESTROWAN_TEST_MAIN(TestItemViews)
#include "tst_itemviews.moc"
