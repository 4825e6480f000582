#include "Kestrowan/groups/GroupShortcut.h"

#include "Kestrowan/groups/ModelJson.h"
#include "Kestrowan/groups/ShortcutKeyTable.h"
#include "Kestrowan/shell/KeyNotation.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <limits>

QString GroupShortcut::displayString() const
{
    return KeyNotation::text(modifierRawValue, keyNameForKeyCode(keyCode));
}

QJsonObject GroupShortcut::toJson() const
{
    return QJsonObject{
        {QStringLiteral("groupID"), ModelJson::uuidText(groupID)},
        {QStringLiteral("keyCode"), int(keyCode)},
        {QStringLiteral("modifierRawValue"), ModelJson::unsignedValue(modifierRawValue)},
    };
}

std::optional<GroupShortcut> GroupShortcut::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const auto groupID = ModelJson::requiredUuid(object, QStringLiteral("groupID"));
    const auto keyCode = ModelJson::requiredUnsigned(object, QStringLiteral("keyCode"), 0xFFFF);
    const auto modifiers = ModelJson::requiredUnsigned(object, QStringLiteral("modifierRawValue"), std::numeric_limits<quint64>::max());
    if (!groupID || !keyCode || !modifiers)
        return std::nullopt;
    return GroupShortcut{*groupID, quint16(*keyCode), *modifiers};
}

void saveShortcuts(const QList<GroupShortcut> &shortcuts)
{
    const QByteArray data = QJsonDocument(ModelJson::arrayOf(shortcuts)).toJson(QJsonDocument::Compact);
    UserDefaults::standard().setValue(groupShortcutsDefaultsKey, data);
}

QList<GroupShortcut> shortcutsFromJsonData(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return {};
    QList<GroupShortcut> shortcuts;
    const QJsonArray array = document.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (std::optional<GroupShortcut> shortcut = GroupShortcut::fromJson(array.at(i)))
            shortcuts.append(*shortcut);
        else
            qCInfo(persistenceLogger, "Skipping unreadable group shortcut at index %lld", qlonglong(i));
    }
    return shortcuts;
}

QList<GroupShortcut> loadShortcuts()
{
    const QVariant stored = UserDefaults::standard().value(groupShortcutsDefaultsKey);
    if (stored.metaType().id() != QMetaType::QByteArray)
        return {};
    return shortcutsFromJsonData(stored.toByteArray());
}
