// The thumbnail cache: its key and file name, memory and disk hits (counted with a fake renderer),
// volatile files kept off the disk, prefetch order, and bad disk files rendered again.
#include "Kestrowan/icons/FailedDocuments.h"
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/icons/ThumbnailWorker.h"
#include "Platform/fake/CountingThumbnailRenderer.h"
#include "Platform/safewrite/OwnFiles.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <memory>

namespace {

AppItem itemAt(const QString &path)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QFileInfo(path).fileName(), path};
}

} // namespace

// A render that never ends on its own: only cancel() lets it go.
class StuckRenderer final : public ThumbnailRenderer {
public:
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};

    QImage render(const QString &, const QSize &) override
    {
        started = true;
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [this] { return m_cancelled; });
        finished = true;
        return QImage();
    }
    void cancel() override
    {
        const std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_released.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_cancelled = false;
};

class TestThumbnailCache : public QObject {
    Q_OBJECT

    QTemporaryDir m_files;

    // Waits for the cache's answer.
    QImage fetch(ThumbnailCache &cache, const QString &path, qreal scale = 2)
    {
        bool answered = false;
        QImage result;
        cache.thumbnail(QUrl::fromLocalFile(path), QSizeF(128, 128), scale, this, [&](const QImage &image) {
            result = image;
            answered = true;
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(answered, 20000); }();
        return result;
    }

    QString document(const QString &name, const QByteArray &contents = "slides")
    {
        const QString path = m_files.filePath(name);
        writeTestFile(path, contents);
        return path;
    }

    static QStringList pngFiles(const QString &folder) { return QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files); }

    // A file of `size` bytes last used `daysAgo`, written by the cache when `ours` (it carries the
    // cache's mark), else by someone else.
    static void placeFile(const QString &path, qint64 size, int daysAgo, bool ours)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size)); // sparse: large without costing the disk
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addDays(-daysAgo), QFileDevice::FileModificationTime));
        if (ours)
            QVERIFY(OwnFiles::mark(path, QByteArrayLiteral("thumbnail")));
    }

private slots:
    void keyAndFileName()
    {
        const auto key = ThumbnailCache::thumbnailCacheKey(QUrl::fromLocalFile(QStringLiteral("/tmp/x/../Plan.key")), std::nullopt,
                                                           QSizeF(127.5, 128.2), 2);
        QCOMPARE(key.value_or(QString()), QStringLiteral("v1|/tmp/Plan.key|volatile|128x128|2.00"));
        QCOMPARE(ThumbnailCache::thumbnailDiskFileName(*key),
                 QStringLiteral("3c96b4a8ace1bb898e12e3b12aa8af66935126d5e440503a93438dfc958b1704.png"));
        // Scale 1 and 2 are two keys; a version token replaces "volatile"; the path keeps its case.
        QCOMPARE(*ThumbnailCache::thumbnailCacheKey(QUrl::fromLocalFile(QStringLiteral("/d/Report.PPTX")), QStringLiteral("7"),
                                                    QSizeF(128, 128), 1),
                 QStringLiteral("v1|/d/Report.PPTX|7|128x128|1.00"));
        QVERIFY(!ThumbnailCache::thumbnailCacheKey(QUrl::fromLocalFile(QStringLiteral("/a.key")), std::nullopt,
                                                   QSizeF(qInf(), 128), 2));
        QVERIFY(!ThumbnailCache::pixelSize(QSizeF(1e30, 128), 2));
    }

    void handlesOnlyItsExtensions()
    {
        QVERIFY(ThumbnailCache::handles(QUrl::fromLocalFile(QStringLiteral("/d/Report.PPTX"))));
        QVERIFY(ThumbnailCache::handles(QUrl::fromLocalFile(QStringLiteral("/d/page.html"))));
        QVERIFY(!ThumbnailCache::handles(QUrl(QStringLiteral("https://example.com/deck.key"))));
        QVERIFY(!ThumbnailCache::handles(QUrl::fromLocalFile(QStringLiteral("/d/paper.pdf"))));
        QVERIFY(!ThumbnailCache::handles(QUrl::fromLocalFile(QStringLiteral("/d/photo.png"))));
    }

    // An item is asked about without its URL being made where the path says what the URL would:
    // the answer is the URL's, for every kind of path an item holds.
    void itemsAnswerAsTheirURLs()
    {
        const QStringList paths{
            QStringLiteral("/d/Report.PPTX"),     QStringLiteral("/d/notes.txt"),
            QStringLiteral("/d/a b/%20#?.key"),   QStringLiteral("/d/dir.key/"),
            QStringLiteral("/d/.pages"),          QStringLiteral("/d/x/../deck.Numbers"),
            QStringLiteral("relative/deck.key"),  QStringLiteral("https://example.com/deck.key"),
            QStringLiteral("file:///d/deck.key"), QString(),
        };
        for (const QString &path : paths) {
            AppItem item;
            item.path = path;
            QCOMPARE(ThumbnailCache::handles(item), ThumbnailCache::handles(item.itemURL()));
        }
    }

    void memoryHitThenDiskHitAfterRestart()
    {
        QTemporaryDir folder;
        const QString deck = document(QStringLiteral("Deck.key"));
        auto first = std::make_shared<CountingThumbnailRenderer>();
        {
            ThumbnailCache cache(folder.path(), first);
            QCOMPARE(fetch(cache, deck).size(), QSize(256, 256));
            QCOMPARE(fetch(cache, deck).size(), QSize(256, 256));
            QCOMPARE(first->count(), 1);
            // Another scale is another thumbnail.
            QCOMPARE(fetch(cache, deck, 1).size(), QSize(128, 128));
            QCOMPARE(first->count(), 2);
        }
        const auto version = ThumbnailCache::fileVersionToken(deck);
        QVERIFY(version);
        const QString expected = ThumbnailCache::thumbnailDiskFileName(
            *ThumbnailCache::thumbnailCacheKey(QUrl::fromLocalFile(deck), version, QSizeF(128, 128), 2));
        QVERIFY(pngFiles(folder.path()).contains(expected));

        auto second = std::make_shared<CountingThumbnailRenderer>();
        ThumbnailCache restarted(folder.path(), second);
        const QImage fromDisk = fetch(restarted, deck);
        QCOMPARE(fromDisk.size(), QSize(256, 256));
        QCOMPARE(fromDisk.pixelColor(128, 128), second->color);
        QCOMPARE(second->count(), 0);
    }

    void volatileFilesStayOffTheDisk()
    {
        QTemporaryDir folder;
        const QString missing = m_files.filePath(QStringLiteral("gone/Notes.pages")); // no stamp to trust
        QVERIFY(!ThumbnailCache::fileVersionToken(missing));
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        {
            ThumbnailCache cache(folder.path(), renderer);
            QVERIFY(!fetch(cache, missing).isNull());
            QVERIFY(!fetch(cache, missing).isNull());
            QCOMPARE(renderer->count(), 1);
        }
        QVERIFY(pngFiles(folder.path()).isEmpty());
        ThumbnailCache restarted(folder.path(), renderer);
        fetch(restarted, missing);
        QCOMPARE(renderer->count(), 2);
    }

    void editedFileIsRenderedAgainBesideTheOldFile()
    {
        QTemporaryDir folder;
        const QString sheet = document(QStringLiteral("Budget.ods"));
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        ThumbnailCache cache(folder.path(), renderer);
        fetch(cache, sheet);
        const auto before = ThumbnailCache::fileVersionToken(sheet);
        writeTestFile(sheet, "changed contents");
        QVERIFY(ThumbnailCache::fileVersionToken(sheet) != before);
        fetch(cache, sheet);
        QCOMPARE(renderer->count(), 2);
        QCOMPARE(pngFiles(folder.path()).size(), 2);
    }

    void prefetchGoesInItemOrder()
    {
        QTemporaryDir folder;
        const QString a = document(QStringLiteral("a.key")), b = document(QStringLiteral("b.KEY")), pdf = document(QStringLiteral("c.pdf"));
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        ThumbnailCache cache(folder.path(), renderer);
        const QList<AppItem> items{itemAt(a), itemAt(QStringLiteral("/Applications/Mail.app")), itemAt(b), itemAt(pdf),
                                   AppItem{QUuid::createUuid(), QStringLiteral("url:https://x.org/y.key"), QStringLiteral("Web"),
                                           QStringLiteral("https://x.org/y.key")}};
        bool done = false;
        cache.prefetch(items, QSizeF(128, 128), 2, this, [&] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QCOMPARE(renderer->requests(), (QStringList{a, b}));
        fetch(cache, b);
        QCOMPARE(renderer->count(), 2); // warmed
    }

    void badDiskFilesAreRenderedAgainAndRewritten()
    {
        QTemporaryDir folder;
        const QString deck = document(QStringLiteral("Pitch.pptx"));
        const QString file = folder.filePath(ThumbnailCache::thumbnailDiskFileName(*ThumbnailCache::thumbnailCacheKey(
            QUrl::fromLocalFile(deck), ThumbnailCache::fileVersionToken(deck), QSizeF(128, 128), 2)));
        auto renderer = std::make_shared<CountingThumbnailRenderer>();

        QVERIFY(writeTestFile(file, "not a picture at all"));
        {
            ThumbnailCache cache(folder.path(), renderer);
            QCOMPARE(fetch(cache, deck).size(), QSize(256, 256));
        }
        QCOMPARE(renderer->count(), 1);
        QCOMPARE(QImage(file).size(), QSize(256, 256));

        // A real PNG of the wrong size is no better.
        QImage small(40, 40, QImage::Format_ARGB32);
        small.fill(Qt::red);
        QVERIFY(small.save(file, "PNG"));
        {
            ThumbnailCache cache(folder.path(), renderer);
            QCOMPARE(fetch(cache, deck).size(), QSize(256, 256));
        }
        QCOMPARE(renderer->count(), 2);
        QCOMPARE(QImage(file).size(), QSize(256, 256));
    }

    // The cache folder is the user's, and any program of theirs may put a file there: one whose
    // chunk names 768 MB in 141 bytes is a miss like any other bad file, and costs the program
    // nothing of what it names, every time it is met.
    void aCachedFileThatNamesMoreThanItHoldsCostsNothing_data()
    {
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("text") << QByteArray("tEXt");
        QTest::newRow("compressed text") << QByteArray("zTXt");
    }

    void aCachedFileThatNamesMoreThanItHoldsCostsNothing()
    {
        QFETCH(QByteArray, type);
        QTemporaryDir folder;
        const QString deck = document(QStringLiteral("Pitch.pptx"));
        const QString file = folder.filePath(ThumbnailCache::thumbnailDiskFileName(*ThumbnailCache::thumbnailCacheKey(
            QUrl::fromLocalFile(deck), ThumbnailCache::fileVersionToken(deck), QSizeF(128, 128), 2)));
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        // The peak counts from here: "5" sets it back to what is resident now.
        QVERIFY(writeTestFile(QStringLiteral("/proc/self/clear_refs"), "5"));
        const qint64 peakBefore = ProcessFigures::statusKiB("VmHWM");
        QVERIFY(peakBefore > 0);
        for (int round = 1; round <= 3; ++round) {
            QVERIFY(writeTestFile(file, HostileFiles::pngWithChunkPastTheEnd(type)));
            {
                ThumbnailCache cache(folder.path(), renderer);
                QCOMPARE(fetch(cache, deck).size(), QSize(256, 256));
            }
            QCOMPARE(renderer->count(), round);
            QCOMPARE(QImage(file).size(), QSize(256, 256));
        }
        const qint64 grown = ProcessFigures::statusKiB("VmHWM") - peakBefore;
        qInfo("The test's peak grew by %lld KiB", grown);
        QVERIFY2(grown < 64 * 1024, qPrintable(QStringLiteral("%1 KiB").arg(grown)));
    }

    void oversizedPicturesAreNeverKept()
    {
        QTemporaryDir folder;
        const QString svg = document(QStringLiteral("logo.svg"));
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        renderer->oversize = QSize(1200, 600);
        ThumbnailCache cache(folder.path(), renderer);
        const QImage image = fetch(cache, svg);
        QCOMPARE(image.size(), QSize(256, 256));
        // Scaled to cover the square and centred: no empty band above or below.
        QCOMPARE(image.pixelColor(128, 128), renderer->color);
        QCOMPARE(image.pixelColor(128, 1), renderer->color);
        QCOMPARE(image.pixelColor(1, 254), renderer->color);
        const QStringList files = pngFiles(folder.path());
        QCOMPARE(files.size(), 1);
        QCOMPARE(QImage(folder.filePath(files.first())).size(), QSize(256, 256));
    }

    void unusedAndExcessFilesArePrunedAtStart()
    {
        QTemporaryDir folder;
        auto place = [&](const QString &name, qint64 size, int daysAgo) {
            placeFile(folder.filePath(name), size, daysAgo, name != QStringLiteral("notes.png"));
        };
        const QString stale = ThumbnailCache::thumbnailDiskFileName(QStringLiteral("stale"));
        const QString fresh = ThumbnailCache::thumbnailDiskFileName(QStringLiteral("fresh"));
        const QString bigOlder = ThumbnailCache::thumbnailDiskFileName(QStringLiteral("big older"));
        const QString bigNewer = ThumbnailCache::thumbnailDiskFileName(QStringLiteral("big newer"));
        place(stale, 2000, ThumbnailCache::diskUnusedDays + 10);
        place(QStringLiteral("notes.png"), 2000, ThumbnailCache::diskUnusedDays + 10); // not one of the cache's files
        place(bigOlder, ThumbnailCache::diskByteLimit / 2 + 1, 3);
        place(bigNewer, ThumbnailCache::diskByteLimit / 2 + 1, 2);
        place(fresh, 2000, 0);

        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        ThumbnailCache cache(folder.path(), renderer);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(folder.filePath(bigOlder)), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(folder.filePath(stale)), 20000);
        QCOMPARE(pngFiles(folder.path()).size(), 3);
        QVERIFY(QFileInfo::exists(folder.filePath(bigNewer)));
        QVERIFY(QFileInfo::exists(folder.filePath(fresh)));
        QVERIFY(QFileInfo::exists(folder.filePath(QStringLiteral("notes.png"))));
    }

    // The cache folder made a link to a folder of the user's: pictures of theirs named like the
    // cache's files, however old or large, stay through every start; only what the cache wrote goes.
    void aLinkedCacheFolderLosesOnlyWhatTheCacheWrote()
    {
        QTemporaryDir home;
        const QString pictures = home.filePath(QStringLiteral("Pictures"));
        QVERIFY(QDir().mkpath(pictures));
        const QString linked = home.filePath(QStringLiteral("Thumbnails"));
        QVERIFY(QFile::link(pictures, linked));
        QStringList mine;
        for (const char *key : {"holiday", "wedding"}) {
            mine.append(ThumbnailCache::thumbnailDiskFileName(QString::fromLatin1(key)));
            placeFile(pictures + u'/' + mine.last(), ThumbnailCache::diskByteLimit, ThumbnailCache::diskUnusedDays + 30, false);
        }
        for (int start = 0; start < 3; ++start) {
            // An old file of the cache's own goes at each start: the sign that the clean-up ran.
            const QString old = ThumbnailCache::thumbnailDiskFileName(QStringLiteral("old %1").arg(start));
            placeFile(pictures + u'/' + old, 2000, ThumbnailCache::diskUnusedDays + 10, true);
            {
                ThumbnailCache cache(linked, std::make_shared<CountingThumbnailRenderer>());
                QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(pictures + u'/' + old), 20000);
            }
            for (const QString &name : std::as_const(mine))
                QVERIFY2(QFileInfo(pictures + u'/' + name).size() == ThumbnailCache::diskByteLimit, qPrintable(name));
        }
        QVERIFY(QFileInfo(linked).isSymLink());
    }

    // A document that gave no thumbnail is not rendered again, however often it is shown, until it
    // changes; one whose renderer could not get to it is asked again later.
    void failedDocumentIsNotRenderedAgainUntilItChanges()
    {
        QTemporaryDir folder;
        const QString psd = document(QStringLiteral("art.psd"));
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        renderer->refuse(psd);
        ThumbnailCache cache(folder.path(), renderer);
        for (int shown = 0; shown < 6; ++shown)
            QVERIFY(fetch(cache, psd).isNull());
        QCOMPARE(renderer->count(), 1);
        QVERIFY(pngFiles(folder.path()).isEmpty());
        // Outside the set nothing is asked at all.
        QVERIFY(fetch(cache, document(QStringLiteral("photo.png"))).isNull());
        QCOMPARE(renderer->count(), 1);
        // Changed, it is asked for once more.
        writeTestFile(psd, "another picture");
        for (int shown = 0; shown < 3; ++shown)
            QVERIFY(fetch(cache, psd).isNull());
        QCOMPARE(renderer->count(), 2);

        // Could not render it now: not at each show either, but again after a pause.
        const QString key = document(QStringLiteral("talk.key"));
        renderer->refuse(key, true);
        for (int shown = 0; shown < 4; ++shown)
            QVERIFY(fetch(cache, key).isNull());
        QCOMPARE(renderer->requests().count(key), 1);
    }

    // However many documents pass through, the memory cache holds at most its budget of bytes, and
    // at most its count of small pictures.
    void memoryCacheKeepsToItsBudget()
    {
        QTemporaryDir folder;
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        ThumbnailWorker worker(folder.path(), renderer);
        QList<QUrl> documents;
        for (int i = 0; i < 300; ++i)
            documents.append(QUrl::fromLocalFile(document(QStringLiteral("deck-%1.odp").arg(i))));
        for (const QUrl &url : std::as_const(documents))
            QVERIFY(!worker.thumbnail(url, QSizeF(128, 128), 2).isNull());
        QVERIFY2(worker.memoryBytes() <= ThumbnailCache::memoryByteLimit, qPrintable(QString::number(worker.memoryBytes())));
        // The most recent are still at hand, without a render.
        const int rendered = renderer->count();
        QVERIFY(!worker.thumbnail(documents.last(), QSizeF(128, 128), 2).isNull());
        QCOMPARE(renderer->count(), rendered);
    }

    void failuresPauseByKind()
    {
        const QString path = QStringLiteral("/docs/a.key");
        const FileStamp stamp{true, 10, 1, 2, 3, 4};
        FailedDocuments failures;
        QVERIFY(failures.mayTry(path, stamp, 0));
        // Transient: tried again after 15 s, 30 s, 60 s, and then taken as lasting.
        qint64 now = 1000;
        for (const qint64 pause : {15000, 30000, 60000}) {
            failures.failed(path, stamp, true, now);
            QVERIFY(!failures.mayTry(path, stamp, now + pause - 1));
            QVERIFY(failures.mayTry(path, stamp, now + pause));
            now += pause;
        }
        failures.failed(path, stamp, true, now);
        QVERIFY(!failures.mayTry(path, stamp, now + 24 * 3600 * 1000));
        // Another state of the file starts afresh; a lasting failure holds until the file changes.
        FileStamp changed = stamp;
        changed.size = 11;
        QVERIFY(failures.mayTry(path, changed, now));
        failures.failed(path, changed, false, now);
        QVERIFY(!failures.mayTry(path, changed, now + 24 * 3600 * 1000));
        failures.succeeded(path);
        QVERIFY(failures.mayTry(path, changed, now));
        // Bounded: the oldest are forgotten.
        for (int i = 0; i <= FailedDocuments::capacity; ++i)
            failures.failed(QStringLiteral("/docs/%1.key").arg(i), stamp, false, now);
        QCOMPARE(failures.size(), FailedDocuments::capacity);
        QVERIFY(failures.mayTry(QStringLiteral("/docs/0.key"), stamp, now));
        QVERIFY(!failures.mayTry(QStringLiteral("/docs/1.key"), stamp, now));
    }

    void noAnswerForAContextThatIsGone()
    {
        QTemporaryDir folder;
        auto renderer = std::make_shared<CountingThumbnailRenderer>();
        ThumbnailCache cache(folder.path(), renderer);
        auto context = std::make_unique<QObject>();
        bool called = false;
        cache.thumbnail(QUrl::fromLocalFile(document(QStringLiteral("x.odt"))), QSizeF(128, 128), 2, context.get(),
                        [&](const QImage &) { called = true; });
        context.reset();
        fetch(cache, document(QStringLiteral("y.odt"))); // answered after the first
        QVERIFY(!called);
    }

    // The shared cache belongs to the application: when the application quits, the render under
    // way is ended and the cache's thread joined before the event loop's caller goes on, so no
    // thread of the cache runs into the exit handlers. (Last: it quits the test's event loop.)
    void quittingEndsTheSharedCachesThread()
    {
        QTemporaryDir folder;
        auto renderer = std::make_shared<StuckRenderer>();
        ThumbnailCache::setShared(std::make_unique<ThumbnailCache>(folder.path(), renderer));
        ThumbnailCache::shared().thumbnail(QUrl::fromLocalFile(document(QStringLiteral("stuck.odt"))), QSizeF(128, 128), 2,
                                           this, [](const QImage &) {});
        QTRY_VERIFY_WITH_TIMEOUT(renderer->started, 20000);
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        QVERIFY2(renderer->finished, "the cache's thread was still rendering when the application's loop ended");
        ThumbnailCache::setShared(nullptr);
    }
};

KESTROWAN_TEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
