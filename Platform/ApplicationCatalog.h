#pragma once

#include <QList>
#include <QString>

#include <memory>

// The applications installed on this machine, as the system's application chooser lists them.
class ApplicationCatalog {
public:
    struct Application {
        QString path;        // the application's bundle path (here: its desktop entry)
        QString displayName; // as the file manager names it
        friend bool operator==(const Application &, const Application &) = default;
    };

    virtual ~ApplicationCatalog() = default;

    static ApplicationCatalog &shared();
    // Replaces the process-wide catalog; nullptr goes back to this machine's.
    static void install(std::unique_ptr<ApplicationCatalog> catalog);

    // The applications that declare they open files with this extension (lower case, no dot),
    // sorted by name.
    virtual QList<Application> applicationsOpening(const QString &extension) const = 0;
    // Every application a user could choose, sorted by name.
    virtual QList<Application> allApplications() const = 0;
};
