// The editor where users wait for it, on a desktop of 200 application entries: a group of 100 items
// opened until the page's first frame is painted, a keystroke in the name of a group of 100 files
// over 30 extensions, 100 files dropped at once, one item moved down in a group of 113, and a text of
// 10,000 links dropped until the group holds them.
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "tests/editorpage/EditorPageSupport.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <benchmark/benchmark.h>

namespace {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow())
            ++paints;
        return false;
    }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QString extensionAt(int index)
{
    static const QStringList known{"txt", "md", "pdf", "png", "jpg", "gif", "svg", "html", "css", "js",
                                   "json", "xml", "csv", "mp3", "wav", "mp4", "zip", "tar", "py", "c",
                                   "cpp", "h", "rs", "go", "java", "odt", "ods", "odp", "rtf", "log"};
    return known.at(index % known.size());
}

// A desktop of its own, once per process: 200 application entries declaring the types of the 30
// extensions between them, and a "mimeapps.list" that names a default for some of them.
void useLargeDesktop()
{
    static QTemporaryDir root;
    static const bool done = [] {
        const QString share = root.path() + QStringLiteral("/share");
        QByteArray defaults = "[Default Applications]\n";
        for (int i = 0; i < 200; ++i) {
            const QString mime = QStringLiteral("application/x-bench-%1").arg(i % 40);
            QByteArray entry = "[Desktop Entry]\nType=Application\nName=Application " + QByteArray::number(i)
                               + "\nExec=/bin/true %f\nIcon=application-x-executable\nMimeType=" + mime.toUtf8()
                               + ";text/plain;image/png;application/pdf;\n";
            writeFile(share + QStringLiteral("/applications/bench%1.desktop").arg(i), entry);
            if (i % 20 == 0)
                defaults += "text/x-bench-" + QByteArray::number(i) + "=bench" + QByteArray::number(i) + ".desktop;\n";
        }
        writeFile(root.path() + QStringLiteral("/config/mimeapps.list"), defaults);
        qputenv("XDG_DATA_DIRS", share.toUtf8());
        qputenv("XDG_DATA_HOME", (root.path() + QStringLiteral("/home-share")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (root.path() + QStringLiteral("/config")).toUtf8());
        qputenv("XDG_CONFIG_DIRS", (root.path() + QStringLiteral("/etc")).toUtf8());
        return true;
    }();
    Q_UNUSED(done);
}

// `count` documents over the 30 extensions, made in `folder`.
QList<AppItem> documents(const QString &folder, int count, int first = 0)
{
    QList<AppItem> items;
    for (int i = first; i < first + count; ++i) {
        const QString path = folder + QStringLiteral("/document %1.%2").arg(i).arg(extensionAt(i));
        writeFile(path, "contents");
        items.append(fileItem(path));
    }
    return items;
}

struct OpenPage {
    QTemporaryDir dir;
    std::unique_ptr<GroupManager> store = makeEditorStore(dir);
    FakeDockSync dock;
    AppGroup group;
    GroupEditorPage *page = nullptr;

    explicit OpenPage(const QList<AppItem> &apps)
    {
        group = store->createGroup();
        group.name = QStringLiteral("Bench");
        group.apps = apps;
        store->updateGroup(group);
    }
    void open()
    {
        GroupEditorServices services;
        services.groupManager = store.get();
        services.dockSync = &dock;
        services.sendSignal = [](const QString &, const QMap<QString, QString> &) {};
        services.droppedItemsFolder = dir.filePath(QStringLiteral("Kept"));
        page = new GroupEditorPage(services, group, false, [] {});
        page->itemActions()->setTemporaryFolders({dir.filePath(QStringLiteral("scratch"))});
        page->resize(620, 540);
        page->show();
        QCoreApplication::processEvents();
    }
    ~OpenPage()
    {
        delete page;
        QCoreApplication::processEvents();
        store->waitUntilSaved();
    }
};

QList<AppItem> hundredItems(const QString &folder)
{
    QList<AppItem> items;
    for (int i = 0; i < 100; ++i) {
        if (i % 2 == 0) {
            const QString path = folder + QStringLiteral("/app%1.desktop").arg(i);
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("[Desktop Entry]\nType=Application\nName=App\nExec=/bin/true\n");
            items.append(AppItem{QUuid::createUuid(), QStringLiteral("app%1").arg(i), QStringLiteral("App %1").arg(i), path});
        } else {
            const QString path = folder + QStringLiteral("/note %1.txt").arg(i);
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write("notes");
            items.append(fileItem(path));
        }
    }
    return items;
}

void openHundredItems(benchmark::State &state)
{
    useSourceResources();
    useLargeDesktop();
    QTemporaryDir dir;
    auto store = makeEditorStore(dir);
    FakeDockSync dock;
    AppGroup group = store->createGroup();
    group.name = QStringLiteral("Hundred");
    group.apps = hundredItems(dir.path());
    store->updateGroup(group);
    GroupEditorServices services;
    services.groupManager = store.get();
    services.dockSync = &dock;
    services.sendSignal = [](const QString &, const QMap<QString, QString> &) {};
    PaintCounter counter;
    qApp->installEventFilter(&counter);
    for (auto _ : state) {
        counter.paints = 0;
        auto *page = new GroupEditorPage(services, group, false, [] {});
        page->resize(620, 540);
        page->show();
        while (counter.paints == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.PauseTiming();
        delete page;
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    qApp->removeEventFilter(&counter);
}

// One key typed into the group's name: the page's whole main-thread work for it, deferred deletions
// included.
void typeInTheNameOfHundredDocuments(benchmark::State &state)
{
    useSourceResources();
    useLargeDesktop();
    QTemporaryDir files;
    OpenPage page(documents(files.path(), 100));
    page.open();
    QLineEdit *field = page.page->nameField();
    field->setFocus();
    int typed = 0;
    for (auto _ : state) {
        const QChar letter = QChar(u'a' + typed++ % 26);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(letter));
        QApplication::sendEvent(field, &press);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// 100 files dropped on the item area of an empty group, until the page has taken them all in.
void dropHundredFiles(benchmark::State &state)
{
    useSourceResources();
    useLargeDesktop();
    QTemporaryDir files;
    const QList<AppItem> dropped = documents(files.path(), 100);
    QList<QUrl> urls;
    for (const AppItem &item : dropped)
        urls.append(QUrl::fromLocalFile(item.path));
    OpenPage page({});
    page.open();
    EditorItemSection *section = page.page->itemSection();
    for (auto _ : state) {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint centre = section->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(section, &enter);
        QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(section, &drop);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (page.page->draft()->draft().apps.size() != 100)
            state.SkipWithError("the drop did not add 100 items");
        AppGroup emptied = page.page->draft()->draft();
        emptied.apps.clear();
        page.page->draft()->setDraft(emptied);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

// "Move Down" on the first item of a group of 113.
void moveOneDownOf113(benchmark::State &state)
{
    useSourceResources();
    useLargeDesktop();
    QTemporaryDir files;
    OpenPage page(documents(files.path(), 113));
    page.open();
    for (auto _ : state) {
        page.page->itemActions()->moveItemDown(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// A text of 10,000 links dropped on the item area of an empty group, until the draft holds them.
void dropTenThousandLinks(benchmark::State &state)
{
    useSourceResources();
    QString text;
    for (int i = 0; i < 10000; ++i)
        text += QStringLiteral("https://kestrowan.example/page/%1\n").arg(i);
    QMimeData mime;
    mime.setText(text);
    for (auto _ : state) {
        state.PauseTiming();
        auto page = std::make_unique<OpenPage>(QList<AppItem>());
        page->open();
        EditorItemSection *section = page->page->itemSection();
        const QPoint centre = section->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(section, &enter);
        state.ResumeTiming();
        QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(section, &drop);
        state.PauseTiming();
        if (page->page->draft()->draft().apps.size() != 10000)
            state.SkipWithError("the drop did not arrive whole");
        page.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(openHundredItems)->Unit(benchmark::kMillisecond);
BENCHMARK(typeInTheNameOfHundredDocuments)->Unit(benchmark::kMillisecond);
BENCHMARK(dropHundredFiles)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(moveOneDownOf113)->Unit(benchmark::kMillisecond);
BENCHMARK(dropTenThousandLinks)->Unit(benchmark::kMillisecond)->Iterations(2);
