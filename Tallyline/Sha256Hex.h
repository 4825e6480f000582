#pragma once

#include <QString>

// Lower-case hexadecimal SHA-256 of the UTF-8 bytes of `text` immediately followed by `salt`.
QString sha256Hex(const QString &text, const QString &salt = {});
