// Web pages and text that Qt's text layout cannot get through, asked for through the real cache and
// this machine's renderer: each gives an answer by the renderer's deadline (nothing for a page that
// never ends or crashes the drawing, a picture for what can be drawn from its first part), the
// program lives on, and quitting while a page is drawn does not wait for it.
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Platform/linux/DesktopThumbnailRenderer.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The processes whose parent is this test process.
QList<qint64> childProcesses()
{
    QList<qint64> children;
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile file(QStringLiteral("/proc/self/task/%1/children").arg(task));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &pid : file.readAll().split(' ')) {
            if (!pid.trimmed().isEmpty())
                children.append(pid.trimmed().toLongLong());
        }
    }
    return children;
}

} // namespace

class TestHostilePages : public QObject {
    Q_OBJECT

    ScratchFolder m_files;

    // The cache's answer; fails when none came within the deadline.
    QImage fetch(ThumbnailCache &cache, const QString &path, int deadlineMs)
    {
        bool answered = false;
        QImage result;
        cache.thumbnail(QUrl::fromLocalFile(path), QSizeF(128, 128), 2, this, [&](const QImage &image) {
            result = image;
            answered = true;
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(answered, deadlineMs); }();
        return result;
    }

private slots:
    void hostilePagesAnswerByTheDeadline()
    {
        QTemporaryDir folder;
        constexpr int timeoutMs = 3000;
        ThumbnailCache cache(folder.path(), std::make_shared<DesktopThumbnailRenderer>(QStringList{}, timeoutMs));

        // 99 KB of nested tables overflows the layout's stack; 1 KB of them doubles its time per
        // level for ever. Neither gives a picture, and neither takes the program with it.
        const QString deep = m_files.file(QStringLiteral("deep.html"), HostileFiles::nestedTablesPage(3000));
        QVERIFY(QFileInfo(deep).size() > 95 * 1024);
        QVERIFY(fetch(cache, deep, 60000).isNull());
        const QString doubling = m_files.file(QStringLiteral("doubling.html"), HostileFiles::nestedTablesPage(30));
        QVERIFY(QFileInfo(doubling).size() < 1100);
        QVERIFY(fetch(cache, doubling, 60000).isNull());

        // 2 MiB on one line: only its start is read, which is drawn as a page.
        const QString line = m_files.file(QStringLiteral("line.html"), HostileFiles::oneLineText(2 * 1024 * 1024));
        const QImage page = fetch(cache, line, 60000);
        QCOMPARE(page.size(), QSize(256, 256));

        // The cache still draws an ordinary page afterwards.
        const QString plain = m_files.file(QStringLiteral("plain.html"), "<html><body><h1>Plan</h1><p>Numbers</p></body></html>");
        QVERIFY(!fetch(cache, plain, 60000).isNull());
        QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 30000);
    }

    void quittingDoesNotWaitForAPage()
    {
        QTemporaryDir folder;
        // A deadline far beyond the test's own: only cancelling can end this render in time.
        auto cache = std::make_unique<ThumbnailCache>(
            folder.path(), std::make_shared<DesktopThumbnailRenderer>(QStringList{}, 3600 * 1000));
        const QString doubling = m_files.file(QStringLiteral("forever.html"), HostileFiles::nestedTablesPage(40));
        bool answered = false;
        cache->thumbnail(QUrl::fromLocalFile(doubling), QSizeF(128, 128), 2, this, [&](const QImage &) { answered = true; });
        // Queued behind it: must not be drawn either once the cache goes.
        cache->thumbnail(QUrl::fromLocalFile(doubling + QStringLiteral(".svg")), QSizeF(64, 64), 1, this, [&](const QImage &) {});
        QTRY_VERIFY_WITH_TIMEOUT(!childProcesses().isEmpty(), 60000);
        const QList<qint64> drawing = childProcesses();

        QElapsedTimer timer;
        timer.start();
        cache.reset();
        QVERIFY2(timer.elapsed() < 60000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!answered);
        for (qint64 pid : drawing)
            QTRY_VERIFY_WITH_TIMEOUT(!processIsRunning(pid), 30000);
    }
};

KESTROWAN_TEST_MAIN(TestHostilePages)
#include "tst_hostilepages.moc"
