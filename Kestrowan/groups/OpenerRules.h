#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

struct AppGroup;
struct AppItem;

// Which application opens a group's non-application items: per item, per extension, or by default.
struct OpenerRules {
    QMap<QString, QString> byExtension; // lower-case extension without the dot -> application path
    QMap<QString, QString> byItem;      // item id as upper-case UUID text -> application path
    std::optional<QString> defaultOpener;

    // A present but empty default opener still makes the rules non-empty.
    bool isEmpty() const { return byExtension.isEmpty() && byItem.isEmpty() && !defaultOpener; }

    QJsonObject toJson() const;
    static std::optional<OpenerRules> fromJson(const QJsonValue &value);

    friend bool operator==(const OpenerRules &, const OpenerRules &) = default;
};

// Both maps (entries in key order, so independent of insertion order), then a presence marker for the
// default opener and its text when present.
size_t qHash(const OpenerRules &rules, size_t seed = 0) noexcept;

// The application for `item` by the rules alone: its own rule, else its extension's, else the
// default opener; empty values count as missing.
std::optional<QUrl> openerURL(const AppItem &item, const QMap<QString, QString> &byExtension,
                              const QMap<QString, QString> &byItem, const std::optional<QString> &defaultOpener);

// The application the system would use for files with `extension` (taken as given).
struct DefaultApplication {
    QString displayName;
    QString path;
    friend bool operator==(const DefaultApplication &, const DefaultApplication &) = default;
};
std::optional<DefaultApplication> defaultApplicationForExtension(const QString &extension);

// The file name the system is asked about when an extension names no type; no file is made there.
QString openerProbePath(const QString &extension);

// The distinct lower-case extensions of the group's files and folders, in ascending order.
QStringList fileExtensionsOfGroup(const AppGroup &group);
