#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// A group's global keyboard shortcut as it is stored: the platform's virtual key code and its
// modifier-flag bits.
struct GroupShortcut {
    static constexpr quint64 controlModifier = 0x40000;
    static constexpr quint64 optionModifier = 0x80000;
    static constexpr quint64 shiftModifier = 0x20000;
    static constexpr quint64 commandModifier = 0x100000;

    QUuid groupID;
    quint16 keyCode = 0;
    quint64 modifierRawValue = 0;

    // The shortcut in the desktop's notation ("Ctrl+Alt+K", "Super+1"), only the modifiers set.
    QString displayString() const;

    QJsonObject toJson() const;
    static std::optional<GroupShortcut> fromJson(const QJsonValue &value);

    friend bool operator==(const GroupShortcut &, const GroupShortcut &) = default;
};

// The defaults key of the stored list.
inline const QString groupShortcutsDefaultsKey = QStringLiteral("groupShortcuts");

// Replaces the stored list with `shortcuts` (compact JSON data, in list order).
void saveShortcuts(const QList<GroupShortcut> &shortcuts);
// The stored list; empty when nothing readable is stored. An element that cannot be read is
// skipped, so that one damaged entry does not cost the user the others.
QList<GroupShortcut> loadShortcuts();
// The list in stored JSON data, with the same leniency as loadShortcuts.
QList<GroupShortcut> shortcutsFromJsonData(const QByteArray &data);
