#pragma once

#include <QMutex>
#include <QtGlobal>
#include <functional>
#include <optional>

// One haptic tick, at most once per 0.08 s however many views ask for one.
void playHapticTick();

// The throttle behind playHapticTick, with its clock (nanoseconds on a monotonic scale) given, so it
// can be driven in tests.
class HapticTicker {
public:
    static constexpr qint64 minimumIntervalNs = 80'000'000;

    explicit HapticTicker(std::function<qint64()> clock);

    // Plays the alignment pattern unless the last played tick is less than the interval ago.
    // True when it played.
    bool tick();

    static HapticTicker &shared();

private:
    std::function<qint64()> m_clock;
    QMutex m_lock;
    std::optional<qint64> m_lastTick; // none: the distant past
};
