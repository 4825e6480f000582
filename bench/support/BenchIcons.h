#pragma once

#include <QIcon>
#include <QString>

// A plain application icon for benchmarks: a blue rounded square on a 512-pixel canvas.
QIcon benchApplicationIcon();
// A one-page A4 document with a blue band along its top, written to `path`.
void writeBenchPaper(const QString &path);
