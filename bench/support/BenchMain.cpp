// The benchmarks' main: a Qt application on the offscreen platform, in a temporary home with
// in-memory defaults, so a benchmark never touches the user's files.
#include "Platform/UserDefaults.h"
#include "Platform/fake/FakeUserDefaults.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>

int main(int argc, char **argv)
{
    QTemporaryDir home;
    const QByteArray path = home.path().toUtf8();
    setenv("HOME", path.constData(), 1);
    setenv("XDG_DATA_HOME", (path + "/.local/share").constData(), 1);
    setenv("XDG_CONFIG_HOME", (path + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", (path + "/.cache").constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    UserDefaults::installFactory([](const QString &) { return std::make_unique<FakeUserDefaults>(); });
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
