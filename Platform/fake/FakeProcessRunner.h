#pragma once

#include "Platform/ProcessRunner.h"

#include <QHash>
#include <QList>

// Records every command and answers from a table, without starting anything.
class FakeProcessRunner final : public ProcessRunner {
public:
    struct Invocation {
        QString executable;
        QStringList arguments;
        bool captureOutput = false;
    };

    QList<Invocation> invocations;
    // Answers by executable; an executable not in the table behaves as one that does not exist.
    QHash<QString, ProcessResult> results;

    QStringList executables() const;
    void run(const QString &executable, const QStringList &arguments, bool captureOutput, Completion completion) override;
};
