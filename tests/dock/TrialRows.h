#pragma once

#include <QList>
#include <QTest>

#include <algorithm>

// Tries of a road many times in a row, as data rows of a few tries each: a sanitizer build on a
// loaded machine takes many seconds a Dock restart, and a row stays well within the time QtTest
// gives a function.
namespace TrialRows {

constexpr int trialsPerRow = 5;

// A Dock that ends sooner after its start counts with its keeper as one that keeps crashing.
constexpr int keeperQuickExit = 2100;

// `fallback`, unless the environment variable `variable` sets another count.
inline int trialCount(const char *variable, int fallback)
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue(variable, &ok);
    return ok && count > 0 ? count : fallback;
}

// Rows for `count` trials under each of the loads (busy processes beside), named by load and trials.
inline void addTrialRows(const QList<int> &loads, int count)
{
    QTest::addColumn<int>("busy");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("trials");
    for (const int busy : loads) {
        for (int first = 1; first <= count; first += trialsPerRow) {
            const int trials = std::min(trialsPerRow, count - first + 1);
            QTest::addRow("%s, trials %d-%d", busy > 0 ? "loaded" : "idle", first, first + trials - 1) << busy << first << trials;
        }
    }
}

} // namespace TrialRows
