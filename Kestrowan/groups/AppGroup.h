#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/groups/OpenerRules.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <optional>

// A named, ordered collection of items with the settings that decide how it is drawn in the Dock, how
// its popup lays the items out and which application opens its documents.
struct AppGroup {
    // The order of the cases is part of the contract: a Dock tile's view setting is position + 1.
    enum class DisplayStyle { Fan, Grid, List };
    enum class IconStyle { Shelf, Glass, Gradient, Minimal, Pelko, Skin };

    QUuid id;
    QString name;
    QList<AppItem> apps;
    DisplayStyle displayStyle = DisplayStyle::Grid;
    IconStyle iconStyle = IconStyle::Shelf;
    std::optional<QString> skinId;
    std::optional<QString> customOpenerPath;
    std::optional<OpenerRules> openerRules;

    QJsonObject toJson() const;
    static std::optional<AppGroup> fromJson(const QJsonValue &value);
    // A JSON array of groups; one group that fails to decode fails the whole array.
    static QJsonArray listToJson(const QList<AppGroup> &groups);
    static std::optional<QList<AppGroup>> listFromJson(const QJsonValue &value);

    // The application that should open `item`, or nullopt for the system's own way.
    std::optional<QUrl> resolveOpenerURL(const AppItem &item) const;

    friend bool operator==(const AppGroup &, const AppGroup &) = default;
};

// Every case, in the order of the enumeration.
QList<AppGroup::DisplayStyle> allDisplayStyles();
QList<AppGroup::IconStyle> allIconStyles();

QString displayStyleRawValue(AppGroup::DisplayStyle style);
std::optional<AppGroup::DisplayStyle> displayStyleFromRawValue(const QString &raw);
QString iconStyleRawValue(AppGroup::IconStyle style);
std::optional<AppGroup::IconStyle> iconStyleFromRawValue(const QString &raw);
// The user-visible title: the localised text of "group.icon." followed by the raw value.
QString iconStyleDisplayName(AppGroup::IconStyle style);
