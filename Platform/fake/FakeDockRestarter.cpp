#include "Platform/fake/FakeDockRestarter.h"

#include "Platform/MainThread.h"

void FakeDockRestarter::restart(Completion completion)
{
    ++restarts;
    postToMainThread([completion = std::move(completion), restarted = succeeds] {
        if (completion)
            completion(restarted);
    });
}
