#pragma once

#include <functional>

// Runs `work` on the main thread from its event loop, after the current call has returned; the way
// asynchronous operations deliver their completions, even when the answer is known at once.
void postToMainThread(std::function<void()> work);
