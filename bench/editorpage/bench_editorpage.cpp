// The editor where users wait for it: a group of 100 items opened until the page's first frame is
// painted; a text of 10,000 links dropped on the item area until the group holds them.
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "tests/editorpage/EditorPageSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QDropEvent>
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

// A store in a folder of its own, and the page's services on it without a Dock or analytics.
struct EditorBench {
    QTemporaryDir dir;
    std::unique_ptr<GroupManager> store = makeEditorStore(dir);
    FakeDockSync dock;
    GroupEditorServices services = [this] {
        GroupEditorServices made;
        made.groupManager = store.get();
        made.dockSync = &dock;
        made.sendSignal = [](const QString &, const QMap<QString, QString> &) {};
        return made;
    }();
};

void openHundredItems(benchmark::State &state)
{
    useSourceResources();
    EditorBench bench;
    auto &store = bench.store;
    const GroupEditorServices &services = bench.services;
    AppGroup group = store->createGroup();
    group.name = QStringLiteral("Hundred");
    group.apps = hundredItems(bench.dir.path());
    store->updateGroup(group);
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

void dropTenThousandLinks(benchmark::State &state)
{
    useSourceResources();
    EditorBench bench;
    auto &store = bench.store;
    const GroupEditorServices &services = bench.services;
    QString text;
    for (int i = 0; i < 10000; ++i)
        text += QStringLiteral("https://kestrowan.example/page/%1\n").arg(i);
    QMimeData mime;
    mime.setText(text);
    for (auto _ : state) {
        state.PauseTiming();
        AppGroup group = store->createGroup();
        auto *page = new GroupEditorPage(services, group, false, [] {});
        page->resize(620, 540);
        page->show();
        QCoreApplication::processEvents();
        QWidget *area = page->itemSection();
        const QPoint centre = area->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area, &enter);
        state.ResumeTiming();
        QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area, &drop);
        if (page->draft()->draft().apps.size() != 10000) {
            state.SkipWithError("the drop did not arrive whole");
            break;
        }
        state.PauseTiming();
        delete page;
        store->setGroups({});
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(openHundredItems)->Unit(benchmark::kMillisecond);
BENCHMARK(dropTenThousandLinks)->Unit(benchmark::kMillisecond)->Iterations(2);
