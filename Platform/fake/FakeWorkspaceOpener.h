#pragma once

#include "Platform/WorkspaceOpener.h"

#include <QHash>
#include <QList>

// Records every request; refuses the URLs listed in `failing`. Every outcome is known at once.
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

    using WorkspaceOpener::open;
    OpenOutcome open(const QUrl &url, const std::optional<QString> &application, bool activate,
                     OpenCompletion) override
    {
        requests.append({url, application, activate});
        const auto found = failing.constFind(url);
        if (found != failing.cend())
            return {false, *found};
        return {true, {}};
    }
};
