#pragma once

#include <QString>

// The user's Accessibility grants: the executables allowed to read the Dock's tree and to tap and
// post pointer events. One absolute executable path a line in a file of the user's configuration
// folder, so a grant outlives the Dock that recorded it, as the platform's grants do.
class TrustStore {
public:
    static QString filePath();

    static bool isTrusted(const QString &executablePath);
    // False when the path cannot be a grant or the file cannot be written.
    static bool grant(const QString &executablePath);

    // The executable of a running process; empty when it cannot be read.
    static QString executableOfProcess(qint64 processIdentifier);
    static QString executableOfThisProcess();
};
