#include "Platform/fake/FakeDockRestarter.h"

#include "Platform/MainThread.h"

#include <utility>

void FakeDockRestarter::restart(Completion completion)
{
    ++restarts;
    if (holds) {
        held.append(std::move(completion));
        return;
    }
    postToMainThread([completion = std::move(completion), restarted = succeeds] {
        if (completion)
            completion(restarted);
    });
}

void FakeDockRestarter::finishHeld()
{
    for (Completion &completion : std::exchange(held, {}))
        restart(std::move(completion));
}
