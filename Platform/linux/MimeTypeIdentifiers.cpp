#include "Platform/linux/MimeTypeIdentifiers.h"

#include "Platform/linux/TypeTable.h"

std::optional<QString> MimeTypeIdentifiers::typeForFilenameExtension(const QString &extension) const
{
    return dataTypeForExtension(extension);
}
