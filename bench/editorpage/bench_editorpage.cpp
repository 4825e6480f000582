// The editor where users wait for it: a group of 100 items opened until the page's first frame is
// painted.
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "tests/editorpage/EditorPageSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
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

void openHundredItems(benchmark::State &state)
{
    useSourceResources();
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

} // namespace

BENCHMARK(openHundredItems)->Unit(benchmark::kMillisecond);
