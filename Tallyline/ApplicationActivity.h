#pragma once

#include <functional>

// The application's activation as the client's bookkeeping sees it: it resigns active when the user
// turns to another program and becomes active again when the user comes back. The host posts both
// moments from its main thread; the client's trackers observe them.
class ApplicationActivity
{
public:
    using Handler = std::function<void()>;

    ApplicationActivity() = delete;

    // Returns a token for `removeObserver`.
    static int addObserver(Handler didResignActive, Handler willBecomeActive);
    static void removeObserver(int token);

    static void postDidResignActive();
    static void postWillBecomeActive();
};
