#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The command of a desktop entry's "Exec" value, split into program and arguments by the entry
// format's quoting rules (never through a shell). The file field codes (%f, %F) take the local
// paths of `targets`, the URL codes (%u, %U) their URL texts; the single-target codes take the first
// one only; every other field code is dropped and "%%" is a percent sign. Empty when the value cannot
// be split (an unclosed quote) or holds nothing.
QStringList desktopExecCommand(const QString &exec, const QList<QUrl> &targets = {});
