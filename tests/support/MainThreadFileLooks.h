#pragma once

#include <QString>
#include <QStringList>

// Counts the file look-ups (stat, access, open and their kin) the main thread makes under a
// folder, by standing in front of the C library's functions in the test program: what strace
// would show of the program, without strace. Only the test that links this file is watched.
namespace MainThreadFileLooks {

// Starts counting afresh the look-ups of paths under `folder` that the calling (main) thread makes.
void watch(const QString &folder);
// Stops counting; what was counted stays readable.
void stop();
int count();
// The first few paths looked up, with the call, for a failure message.
QStringList examples();
// A failure message for the look-ups counted: "<when>: <n> look-ups on the main thread, such as …".
QString report(const QString &when);
// The entries the main thread made under the folder (links, folders, files created or moved into
// place), counted apart from the look-ups; paths given against an open folder are resolved.
int made();
QStringList madeExamples();

} // namespace MainThreadFileLooks
