#pragma once

#include <QByteArray>
#include <QString>

// The whole file; empty when it cannot be read.
QByteArray readTestFile(const QString &path);
// Writes `bytes` to `path` in place of what was there, making its folder; whether all of it was written.
bool writeTestFile(const QString &path, const QByteArray &bytes);

// Whether the process runs (one that has ended but is not yet reaped by its parent counts as ended).
bool processIsRunning(qint64 pid);
