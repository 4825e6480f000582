// Decoding and encoding the JSON of 1,000 groups of 20 items each.
#include "Kestrowan/groups/AppGroup.h"

#include <QJsonDocument>
#include <benchmark/benchmark.h>

namespace {

QList<AppGroup> sampleGroups()
{
    QList<AppGroup> groups;
    for (int g = 0; g < 1000; ++g) {
        AppGroup group{QUuid::createUuid(), QStringLiteral("Group %1").arg(g), {}, AppGroup::DisplayStyle::Grid,
                       AppGroup::IconStyle::Shelf, {}, {}, {}};
        for (int i = 0; i < 20; ++i) {
            const QString path = QStringLiteral("/Users/someone/Documents/Project %1/File %2.pdf").arg(g).arg(i);
            group.apps.append(AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, QStringLiteral("File %1").arg(i), path});
        }
        if (g % 3 == 0) {
            group.skinId = QStringLiteral("paper");
            group.openerRules = OpenerRules{{{QStringLiteral("pdf"), QStringLiteral("/Applications/Preview.app")}}, {}, std::nullopt};
        }
        groups.append(group);
    }
    return groups;
}

void decodeGroups(benchmark::State &state)
{
    const QByteArray bytes = QJsonDocument(AppGroup::listToJson(sampleGroups())).toJson();
    for (auto _ : state) {
        const auto groups = AppGroup::listFromJson(QJsonDocument::fromJson(bytes).array());
        if (!groups || groups->size() != 1000)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(groups);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void encodeGroups(benchmark::State &state)
{
    const QList<AppGroup> groups = sampleGroups();
    for (auto _ : state) {
        QByteArray bytes = QJsonDocument(AppGroup::listToJson(groups)).toJson();
        benchmark::DoNotOptimize(bytes);
    }
}

} // namespace

BENCHMARK(decodeGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeGroups)->Unit(benchmark::kMillisecond);
