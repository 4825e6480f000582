#include "Kestrowan/mainwindow/InstalledAppsCache.h"

#include "Platform/logging/SystemErrorText.h"
#include "Kestrowan/groups/ModelJson.h"
#include "Platform/BoundedFile.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include "Platform/safewrite/SafeWrite.h"

namespace {

// A cache of even thousands of applications stays far below this; a larger file is not ours.
constexpr qint64 cacheFileSizeLimit = 32 * 1024 * 1024;

void appendString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '/': out.append("\\/"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out.append("\\u00");
                out.append(hex[(c >> 4) & 0xF]);
                out.append(hex[c & 0xF]);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}

} // namespace

QByteArray InstalledAppsCache::encode(const QList<AppItem> &apps)
{
    QByteArray out;
    out.reserve(apps.size() * 160 + 2);
    out.append('[');
    bool first = true;
    for (const AppItem &app : apps) {
        if (!std::exchange(first, false))
            out.append(',');
        out.append("{\"id\":");
        appendString(out, ModelJson::uuidText(app.id));
        out.append(",\"bundleIdentifier\":");
        appendString(out, app.bundleIdentifier);
        out.append(",\"name\":");
        appendString(out, app.name);
        out.append(",\"path\":");
        appendString(out, app.path);
        out.append('}');
    }
    out.append(']');
    return out;
}

std::optional<QList<AppItem>> InstalledAppsCache::decode(const QByteArray &bytes, QString *failure)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        if (failure)
            *failure = jsonErrorText(error);
        return std::nullopt;
    }
    if (!document.isArray()) {
        if (failure)
            *failure = QStringLiteral("the cache is not an array");
        return std::nullopt;
    }
    std::optional<QList<AppItem>> apps = AppItem::listFromJson(document.array());
    if (!apps && failure)
        *failure = QStringLiteral("an entry lacks a field or holds one of the wrong type");
    return apps;
}

std::optional<QList<AppItem>> InstalledAppsCache::load(const QString &path, QString *failure)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    const std::optional<QByteArray> bytes = readSmallFile(path, cacheFileSizeLimit, failure);
    if (!bytes)
        return std::nullopt;
    return decode(*bytes, failure);
}

bool InstalledAppsCache::save(const QString &path, const QList<AppItem> &apps, QString *failure)
{
    const std::optional<QString> reason = SafeWrite::replaceFile(path, encode(apps));
    if (reason && failure)
        *failure = *reason;
    return !reason;
}
