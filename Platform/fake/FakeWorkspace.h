#pragma once

#include "Platform/Workspace.h"

#include "Platform/fake/TableLookup.h"

#include <QHash>
#include <QStringList>

// Answers from tables; every question is recorded so tests can check what was asked, in order.
class FakeWorkspace final : public Workspace {
public:
    QHash<QString, QString> applicationsForTypes; // type identifier -> application path
    QHash<QUrl, QString> applicationsForURLs;     // URL -> application path
    QHash<QString, QIcon> fileIcons;              // path -> icon
    QHash<QString, QIcon> typeIcons;              // type identifier -> icon
    mutable QStringList asked;                    // "type:<id>", "url:<url>", "fileIcon:<path>", "typeIcon:<id>"

    QIcon iconForFile(const QString &path) const override
    {
        asked.append(QStringLiteral("fileIcon:") + path);
        return fileIcons.value(path);
    }
    QIcon iconForContentType(const QString &type) const override
    {
        asked.append(QStringLiteral("typeIcon:") + type);
        return typeIcons.value(type);
    }
    std::optional<QString> applicationForContentType(const QString &type) const override
    {
        asked.append(QStringLiteral("type:") + type);
        return tableLookup(applicationsForTypes, type);
    }
    std::optional<QString> applicationToOpenURL(const QUrl &url) const override
    {
        asked.append(QStringLiteral("url:") + url.toString());
        return tableLookup(applicationsForURLs, url);
    }
};
