#pragma once

#include <QByteArray>
#include <QString>

// The whole file; empty when it cannot be read.
QByteArray readTestFile(const QString &path);
// Writes `bytes` to `path` in place of what was there, making its folder; whether all of it was written.
bool writeTestFile(const QString &path, const QByteArray &bytes);

// Whether the process runs (one that has ended but is not yet reaped by its parent counts as ended).
bool processIsRunning(qint64 pid);

// An application whose icon exists only as a scalable picture in the user's "hicolor" theme, a
// square of `color` edge to edge: installs the picture and a desktop entry naming it by its theme
// name, and returns the entry's path.
QString installApplicationWithScalableIcon(const QString &iconName, const QString &color);
