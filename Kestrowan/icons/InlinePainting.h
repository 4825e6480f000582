#pragma once

#include <functional>
#include <vector>

// Qt's raster painter and its image conversions hand every fill of more than about a hundred rows
// to the global thread pool and wait for it, unless they already run on one of its threads. For
// the icons' small pictures waking the pool costs more than the fill: these run drawing work on a
// pool thread of its own (reserved, so a busy pool never delays it), where every fill stays inline,
// and wait for it. Each job must be safe to run off the caller's thread: images, painters and the
// icons' own caches only, no widgets or icon themes.
//
// On a pool thread already, everything runs in place, one job after the other: a pool thread that
// waited for more pool threads could wait for ever once every thread of the pool waited so.

// Runs `work` so, and returns when it is done.
void paintInline(const std::function<void()> &work);

// Runs the jobs side by side, each on a pool thread of its own, then `then` (when given) on the
// thread that finished last, and returns when that is done.
void paintInlineTogether(const std::vector<std::function<void()>> &jobs, const std::function<void()> &then = {});
