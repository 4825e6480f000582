#pragma once

#include "Platform/KeyCharacters.h"

#include "Platform/fake/TableLookup.h"

#include <QHash>

// Key events from a table; any other key code makes no event.
class FakeKeyCharacters final : public KeyCharacters {
public:
    QHash<quint16, QString> characters;

    std::optional<QString> charactersIgnoringModifiers(quint16 keyCode) const override
    {
        return tableLookup(characters, keyCode);
    }
};
