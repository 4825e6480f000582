#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

// Which application opens a group's non-application items: per item, per extension, or by default.
struct OpenerRules {
    QMap<QString, QString> byExtension;
    QMap<QString, QString> byItem;
    std::optional<QString> defaultOpener;

    QJsonObject toJson() const;
    static std::optional<OpenerRules> fromJson(const QJsonValue &value);

    friend bool operator==(const OpenerRules &, const OpenerRules &) = default;
};
