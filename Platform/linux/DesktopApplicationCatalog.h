#pragma once

#include "Platform/ApplicationCatalog.h"

#include <QStringList>

// The desktop entries of the applications folders (the user's first, so an entry of the user's
// hides a system one with the same file name). Entries that are hidden, not shown, not
// applications or unreadable are left out; "MimeType=" says what an application opens.
class DesktopApplicationCatalog final : public ApplicationCatalog {
public:
    explicit DesktopApplicationCatalog(const QStringList &applicationFolders = QStringList());

    QList<Application> applicationsOpening(const QString &extension) const override;
    QList<Application> allApplications() const override;

private:
    struct Entry {
        Application application;
        QStringList mimeTypes;
    };
    QList<Entry> entries() const;

    QStringList m_folders;
};
