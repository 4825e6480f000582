#include "Platform/logging/SystemErrorText.h"

#include <cstring>

QString systemErrorText(int error)
{
    // The untranslated table: strerror follows the locale's messages.
    if (const char *text = ::strerrordesc_np(error))
        return QString::fromUtf8(text);
    return QStringLiteral("error %1").arg(error);
}
