#include "tests/support/LogCapture.h"

#include <QList>
#include <QMutex>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace {

struct Captured {
    QMutex mutex;
    bool active = false;
    bool passOn = false;
    QtMessageHandler previous = nullptr;
    QList<std::pair<QtMsgType, QString>> messages;
};

Captured &captured()
{
    static Captured shared;
    return shared;
}

void take(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Captured &state = captured();
    QtMessageHandler passTo = nullptr;
    {
        const QMutexLocker lock(&state.mutex);
        // A thread may still call this handler just after the capture ended.
        if (!state.active)
            return;
        state.messages.append({type, message});
        if (state.passOn)
            passTo = state.previous;
    }
    // Outside the lock: the handler passed to may take a lock of its own.
    if (passTo)
        passTo(type, context, message);
}

} // namespace

LogCapture::LogCapture(PassOn passOn)
{
    Captured &state = captured();
    {
        const QMutexLocker lock(&state.mutex);
        Q_ASSERT(!state.active);
        state.messages.clear();
        state.passOn = passOn == PassOn::Yes;
        state.active = true;
    }
    const QtMessageHandler previous = qInstallMessageHandler(take);
    const QMutexLocker lock(&state.mutex);
    state.previous = previous;
}

LogCapture::~LogCapture()
{
    Captured &state = captured();
    QtMessageHandler previous = nullptr;
    {
        const QMutexLocker lock(&state.mutex);
        state.active = false;
        previous = std::exchange(state.previous, nullptr);
    }
    qInstallMessageHandler(previous);
}

QStringList LogCapture::lines() const
{
    Captured &state = captured();
    const QMutexLocker lock(&state.mutex);
    QStringList all;
    for (const auto &[type, message] : std::as_const(state.messages))
        all.append(message);
    return all;
}

QStringList LogCapture::lines(QtMsgType wanted) const
{
    Captured &state = captured();
    const QMutexLocker lock(&state.mutex);
    QStringList ofType;
    for (const auto &[type, message] : std::as_const(state.messages)) {
        if (type == wanted)
            ofType.append(message);
    }
    return ofType;
}

int LogCapture::count(const QString &pattern) const
{
    const QRegularExpression expression(pattern);
    const QStringList all = lines();
    return int(std::count_if(all.cbegin(), all.cend(),
                             [&expression](const QString &message) { return expression.match(message).hasMatch(); }));
}

int LogCapture::countText(const QString &text) const
{
    return int(lines().filter(text).size());
}

void LogCapture::clear()
{
    Captured &state = captured();
    const QMutexLocker lock(&state.mutex);
    state.messages.clear();
}
