#include "Platform/KeyCharacters.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/UsKeyCharacters.h"

KeyCharacters &KeyCharacters::shared()
{
    return sharedPort<KeyCharacters, UsKeyCharacters>();
}

void KeyCharacters::install(std::unique_ptr<KeyCharacters> characters)
{
    installedPort<KeyCharacters>() = std::move(characters);
}
