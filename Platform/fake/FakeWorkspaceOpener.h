#pragma once

#include "Platform/WorkspaceOpener.h"

#include <QCoreApplication>
#include <QHash>
#include <QTimer>
#include <QList>

// Records every request; refuses the URLs listed in `failing`. The URLs listed in `settlingLater`
// go, like the desktop's own opener, pending first: their outcome (opened with an empty text, else
// failed with it) arrives from the event loop.
class FakeWorkspaceOpener final : public WorkspaceOpener {
public:
    struct Request {
        QUrl url;
        std::optional<QString> application;
        bool activate = true;
        friend bool operator==(const Request &, const Request &) = default;
    };

    QList<Request> requests;
    QHash<QUrl, QString> failing; // URL -> error text
    QHash<QUrl, QString> settlingLater; // URL -> error text, empty for opened

    using WorkspaceOpener::open;
    OpenOutcome open(const QUrl &url, const std::optional<QString> &application, bool activate,
                     OpenCompletion settled) override
    {
        requests.append({url, application, activate});
        if (const auto later = settlingLater.constFind(url); later != settlingLater.cend()) {
            const OpenOutcome outcome{later->isEmpty(), *later};
            QTimer::singleShot(0, QCoreApplication::instance(), [settled, outcome] {
                if (settled)
                    settled(outcome);
            });
            OpenOutcome pending;
            pending.pending = true;
            return pending;
        }
        const auto found = failing.constFind(url);
        if (found != failing.cend())
            return {false, *found};
        return {true, {}};
    }
};
