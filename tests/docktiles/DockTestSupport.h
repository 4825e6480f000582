#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QTest>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

// The Dock's preferences file of the test's temporary home.
QString dockFilePath();
void writeDockFile(const QVariantMap &domain);
void writeDockBytes(const QByteArray &bytes);
QByteArray dockFileBytes();
// The whole file as property-list values; an empty map when it is missing or unreadable.
QVariantMap readDockFile();

// Starts an asynchronous call and waits for its completion. Nullopt when the completion never came,
// came more than once, or ran inside the call itself: each breaks the promise callers rely on.
template <typename Result>
std::optional<Result> awaitCompletion(const std::function<void(std::function<void(Result)>)> &start)
{
    struct State {
        int calls = 0;
        bool returned = false;
        bool calledInside = false;
        std::optional<Result> result;
    };
    auto state = std::make_shared<State>();
    start([state](Result result) {
        ++state->calls;
        state->calledInside = state->calledInside || !state->returned;
        state->result = std::move(result);
    });
    state->returned = true;
    if (!QTest::qWaitFor([state] { return state->calls > 0; }, 20000))
        return std::nullopt;
    QCoreApplication::processEvents();
    if (state->calls != 1 || state->calledInside)
        return std::nullopt;
    return state->result;
}
