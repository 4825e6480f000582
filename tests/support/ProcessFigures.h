#pragma once

#include <QByteArray>
#include <QtGlobal>

// What a test reads of its own process and of the children it has waited for.
namespace ProcessFigures {

// A line of /proc/self/status in kibibytes ("VmHWM", "VmRSS"); -1 when it cannot be read.
qint64 statusKiB(const QByteArray &name);

// The largest resident size any child process this test waited for reached, in kibibytes.
qint64 childrenPeakKiB();

} // namespace ProcessFigures
