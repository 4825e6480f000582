#pragma once

#include "Platform/Workspace.h"

class QFileInfo;

// The workspace of a freedesktop desktop: icons from the icon theme (and a desktop entry's own
// "Icon="), default applications from "mimeapps.list" and the installed desktop entries.
class DesktopWorkspace final : public Workspace {
public:
    QIcon iconForFile(const QString &path) const override;
    std::optional<QString> pendingIconFile(const QString &path, int pixels) const override;
    void prepareIcons(const QStringList &paths, const QList<int> &pixels) const override;
    KeptIcon keptIconForFile(const QString &path) const override;
    QIcon iconForContentType(const QString &type) const override;
    std::optional<QString> applicationForContentType(const QString &type) const override;
    std::optional<QString> applicationToOpenURL(const QUrl &url) const override;

    // The MIME type of the file at `path`, from the file itself; empty when none can be told.
    static QString mimeTypeOfFile(const QString &path);

private:
    static QIcon lookUpIconForFile(const QFileInfo &info);
};
