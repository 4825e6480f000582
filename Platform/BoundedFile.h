#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reads small files that come from outside (shortcut files, bundle information, desktop entries)
// without ever loading a huge or endless one whole.
inline constexpr qint64 smallFileSizeLimit = 1024 * 1024;

// The whole file when it is a readable regular file (links followed) of at most `limit` bytes;
// otherwise nullopt, with the reason in `failure` when given.
std::optional<QByteArray> readSmallFile(const QString &path, qint64 limit = smallFileSizeLimit, QString *failure = nullptr);
