#pragma once

#include <QIcon>

// A plain application icon for benchmarks: a blue rounded square on a 512-pixel canvas.
QIcon benchApplicationIcon();
