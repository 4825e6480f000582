#include "Platform/TypeIdentifiers.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/MimeTypeIdentifiers.h"

TypeIdentifiers &TypeIdentifiers::shared()
{
    return sharedPort<TypeIdentifiers, MimeTypeIdentifiers>();
}

void TypeIdentifiers::install(std::unique_ptr<TypeIdentifiers> identifiers)
{
    installedPort<TypeIdentifiers>() = std::move(identifiers);
}
