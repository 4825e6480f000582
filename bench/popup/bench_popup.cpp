// The popup where users wait for it: groups of 100, 1,000 and 5,000 applications (and of 100 and
// 1,000 documents) shown until the first frame is painted (after no popup, or replacing another
// group's), a search filtered over 1,000 items, and keys typed into a popup of 1,000 items until
// the popup is painted again.
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupLayout.h"
#include "Kestrowan/popup/PopupWindowController.h"
#include "Platform/fake/FakeGlobalEventMonitor.h"
#include "Platform/fake/FakeWorkspaceOpener.h"
#include "tests/popup/PopupTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// Counts the frames the popup's window paints.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->isWindow())
            ++paints;
        return false;
    }
};

// `distinct` repeated up to `count` items, each an item of its own.
AppGroup repeatedUpTo(const QList<AppItem> &distinct, int count, const QString &name)
{
    QList<AppItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        AppItem item = distinct.at(i % distinct.size());
        item.id = QUuid::createUuid();
        items.append(item);
    }
    return PopupTest::group(name, items, AppGroup::DisplayStyle::Grid);
}

// A hundred distinct documents and folders (pictures, texts, folders, items that are gone),
// repeated up to `count`: the popup of someone's working files.
AppGroup documents(const QString &folder, int count, const QString &name)
{
    QList<AppItem> distinct;
    for (int i = 0; i < 100; ++i) {
        QString path;
        switch (i % 4) {
        case 0: {
            path = folder + QStringLiteral("/Picture %1.png").arg(i);
            QImage picture(96, 64, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 3, 160, 220));
            picture.save(path);
            break;
        }
        case 1: {
            path = folder + QStringLiteral("/Notes %1.txt").arg(i);
            QFile text(path);
            if (text.open(QIODevice::WriteOnly))
                text.write("notes\n");
            break;
        }
        case 2:
            path = folder + QStringLiteral("/Folder %1").arg(i);
            QDir().mkpath(path);
            break;
        default:
            path = folder + QStringLiteral("/Gone %1.pdf").arg(i);
            break;
        }
        distinct.append(PopupTest::document(QStringLiteral("Document %1").arg(i), path));
    }
    return repeatedUpTo(distinct, count, name);
}

AppGroup applications(const QString &folder, int count, const QString &name)
{
    QList<AppItem> distinct;
    for (int i = 0; i < std::min(count, 100); ++i)
        distinct.append(PopupTest::desktopApplication(folder, QStringLiteral("App %1").arg(i), QColor::fromHsv(i * 3, 160, 220)));
    return repeatedUpTo(distinct, count, name);
}

void reportTimes(benchmark::State &state, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["p90_ms"] = times[std::min(times.size() - 1, times.size() * 9 / 10)];
    state.counters["max_ms"] = times.back();
}

// A popup of `state.range(0)` applications, from the show until its window has painted its first
// frame (median and p90 of the shows; "show_call_ms" is the part spent in the show call itself).
// `before` says what stands before it: nothing (the popup was closed), another group's popup still up
// (the pointer goes from one tile to the next), or nothing, with applications never drawn before
// (nothing in the icon cache).
enum class Before { Nothing, OtherPopup, NothingCold, NothingDocuments };

void showItems(benchmark::State &state, Before before)
{
    QTemporaryDir dir;
    WorkspaceOpener::install(std::make_unique<FakeWorkspaceOpener>());
    GlobalEventMonitor::installFactory([] { return std::make_unique<FakeGlobalEventMonitor>(); });
    const int count = int(state.range(0));
    int round = 0;
    // A hundred distinct applications, repeated up to the count: the icons are those of a real group.
    AppGroup group = before == Before::NothingDocuments ? documents(dir.path(), count, QStringLiteral("Shown"))
                                                        : applications(dir.path(), count, QStringLiteral("Shown"));
    const AppGroup other = applications(dir.path(), 12, QStringLiteral("Other"));
    PopupWindowController controller;
    controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
    controller.dockPositionSource = [] { return DockPosition::Bottom; };
    controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
    PaintCounter counter;
    qApp->installEventFilter(&counter);
    const auto settle = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    };
    std::vector<double> times, built;
    for (auto _ : state) {
        state.PauseTiming();
        if (before == Before::NothingCold) {
            const QString folder = dir.filePath(QString::number(++round));
            QDir().mkpath(folder);
            group = applications(folder, count, QStringLiteral("Shown"));
        }
        if (before == Before::OtherPopup) {
            controller.showPopup(other, {}, QRectF(640, 4, 60, 60));
            counter.paints = 0;
            while (counter.paints == 0)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        settle();
        counter.paints = 0;
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        controller.showPopup(group, {}, QRectF(700, 4, 60, 60));
        built.push_back(double(timer.nsecsElapsed()) / 1e6);
        while (counter.paints == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        state.PauseTiming();
        controller.closePopupImmediately();
        settle();
        state.ResumeTiming();
    }
    reportTimes(state, times);
    std::sort(built.begin(), built.end());
    state.counters["show_call_ms"] = built[built.size() / 2];
    qApp->removeEventFilter(&counter);
    GlobalEventMonitor::installFactory({});
    WorkspaceOpener::install(nullptr);
}
void showPopupItems(benchmark::State &state)
{
    showItems(state, Before::Nothing);
}
BENCHMARK(showPopupItems)->Unit(benchmark::kMillisecond)->Arg(100)->Arg(1000)->Arg(5000)->Iterations(40);

void showPopupItemsReplacingAnother(benchmark::State &state)
{
    showItems(state, Before::OtherPopup);
}
BENCHMARK(showPopupItemsReplacingAnother)->Unit(benchmark::kMillisecond)->Arg(100)->Arg(1000)->Arg(5000)->Iterations(40);

void showPopupItemsFirstTime(benchmark::State &state)
{
    showItems(state, Before::NothingCold);
}
BENCHMARK(showPopupItemsFirstTime)->Unit(benchmark::kMillisecond)->Arg(100)->Iterations(5);

// Documents and folders rather than applications: their previews, kinds and icons.
void showPopupDocuments(benchmark::State &state)
{
    showItems(state, Before::NothingDocuments);
}
BENCHMARK(showPopupDocuments)->Unit(benchmark::kMillisecond)->Arg(100)->Arg(1000)->Iterations(40);

void filterThousandItems(benchmark::State &state)
{
    QList<AppItem> items;
    for (int i = 0; i < 1000; ++i)
        items.append(PopupTest::application(QStringLiteral("Application Number %1").arg(i)));
    const QStringList searches{QStringLiteral("a"), QStringLiteral("app"), QStringLiteral("number 5"),
                               QStringLiteral("NUMBER 99"), QStringLiteral("zz")};
    qsizetype found = 0;
    for (auto _ : state) {
        for (const QString &search : searches)
            found += PopupLayout::filteredItems(items, search).size();
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * searches.size());
    state.counters["per_search_us"] = benchmark::Counter(double(state.iterations() * searches.size()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
                                                         benchmark::Counter::kIs1000);
}
BENCHMARK(filterThousandItems)->Unit(benchmark::kMicrosecond);

// Counts the repaints of one window: its update request is where the frame is painted.
class RepaintCounter : public QObject {
public:
    explicit RepaintCounter(QWidget *window) : m_window(window) {}
    int repaints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_window && event->type() == QEvent::UpdateRequest)
            ++repaints;
        return false;
    }

private:
    QWidget *m_window;
};

// One key into the popup, as the desktop delivers it, and the time until the popup's window has
// been painted again, in milliseconds.
double keystrokeToPaint(QWidget *panel, RepaintCounter &counter, int key, const QString &text)
{
    QCoreApplication::processEvents();
    counter.repaints = 0;
    QElapsedTimer timer;
    timer.start();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(panel, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(panel, &release);
    // The processing pass that delivers the update request paints the frame before it returns.
    while (counter.repaints == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return double(timer.nsecsElapsed()) / 1e6;
}

void typeIntoThousandItems(benchmark::State &state, AppGroup::DisplayStyle style)
{
    WorkspaceOpener::install(std::make_unique<FakeWorkspaceOpener>());
    GlobalEventMonitor::installFactory([] { return std::make_unique<FakeGlobalEventMonitor>(); });
    QList<AppItem> items;
    for (int i = 0; i < 1000; ++i)
        items.append(PopupTest::application(QStringLiteral("Application %1").arg(i)));
    PopupWindowController controller;
    controller.setSignalSink([](const QString &, const QMap<QString, QString> &) {});
    controller.dockPositionSource = [] { return DockPosition::Bottom; };
    controller.visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
    controller.showPopup(PopupTest::group(QStringLiteral("Thousand"), items, style), {}, QRectF(700, 4, 60, 60));
    QWidget *panel = controller.panel();
    RepaintCounter counter(panel);
    panel->installEventFilter(&counter);
    while (!panel->isVisible())
        QCoreApplication::processEvents();
    // Narrowing and widening again: "1" shows 271 items, "12" 20, "123" one; Backspace goes back.
    const QList<QPair<int, QString>> keys{{Qt::Key_1, QStringLiteral("1")}, {Qt::Key_2, QStringLiteral("2")},
                                          {Qt::Key_3, QStringLiteral("3")}, {Qt::Key_Backspace, QString()},
                                          {Qt::Key_Backspace, QString()}, {Qt::Key_Backspace, QString()}};
    std::vector<double> times;
    for (auto _ : state) {
        for (const auto &[key, text] : keys)
            times.push_back(keystrokeToPaint(panel, counter, key, text));
    }
    reportTimes(state, std::move(times));
    panel->removeEventFilter(&counter);
    controller.closePopupImmediately();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    GlobalEventMonitor::installFactory({});
    WorkspaceOpener::install(nullptr);
}

void typeIntoThousandItemsGrid(benchmark::State &state)
{
    typeIntoThousandItems(state, AppGroup::DisplayStyle::Grid);
}
BENCHMARK(typeIntoThousandItemsGrid)->Unit(benchmark::kMillisecond)->Iterations(10);

void typeIntoThousandItemsList(benchmark::State &state)
{
    typeIntoThousandItems(state, AppGroup::DisplayStyle::List);
}
BENCHMARK(typeIntoThousandItemsList)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
