#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <optional>

class QIcon;

// One entry of a group: an application, a document, a folder or a web link. Only the four strings and
// the identifier are stored; kind, URL and icon are derived from `path` whenever they are asked for, so
// an item follows the file system as it is now.
struct AppItem {
    enum class Kind { App, Folder, File, Link };

    QUuid id;
    QString bundleIdentifier;
    QString name;
    QString path;

    QUrl itemURL() const;
    Kind itemKind() const;
    // Whether itemKind() is App, told without looking at the disk (which only tells a folder from a file).
    bool isApplication() const;
    QIcon itemIcon() const;

    QJsonObject toJson() const;
    static std::optional<AppItem> fromJson(const QJsonValue &value);
    // A JSON array of items; one item that fails to decode fails the whole array.
    static QJsonArray listToJson(const QList<AppItem> &items);
    static std::optional<QList<AppItem>> listFromJson(const QJsonValue &value);

    friend bool operator==(const AppItem &, const AppItem &) = default;
};

size_t qHash(const AppItem &item, size_t seed = 0) noexcept;
QString kindRawValue(AppItem::Kind kind);

Q_DECLARE_METATYPE(AppItem)
