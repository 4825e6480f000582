#pragma once

#include "Platform/IconDecoder.h"

// An icon decoder that holds every request until the test answers it. The answers then come as
// the helper's do: later, on a turn of the event loop of their own, after the views have drawn
// their stand-ins.
class HeldIconDecoder final : public IconDecoder {
public:
    void decode(const QList<Request> &requests) override { m_held += requests; }
    void cancelAll() override { m_held.clear(); }

    // Whether a request for the file waits.
    bool holds(const QString &path) const;
    // Answers every request held with the picture of its file (the test's own) at each side asked.
    void answerAll();

private:
    QList<Request> m_held;
};
