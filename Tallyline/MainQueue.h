#pragma once

#include <chrono>
#include <functional>

// The client's "main queue": work handed to the application's thread through its event loop, in the
// order it was handed over. Without an application object the work runs at once on the caller.
void dispatchToMain(std::function<void()> work);
void dispatchToMainAfter(std::chrono::milliseconds delay, std::function<void()> work);
