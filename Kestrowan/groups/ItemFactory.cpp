#include "Kestrowan/groups/ItemFactory.h"

#include "Kestrowan/groups/PathComponents.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/ApplicationBundles.h"
#include "Platform/BoundedFile.h"
#include "Platform/DisplayNames.h"
#include "Platform/PropertyList.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

constexpr int maximumHops = 6;

std::optional<QString> nonEmpty(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

// A shortcut file's target text: a path when it begins with "/", otherwise a URL.
std::optional<QUrl> urlFromShortcutText(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (trimmed.startsWith(u'/'))
        return QUrl::fromLocalFile(trimmed);
    const QUrl url(trimmed, QUrl::TolerantMode);
    return url.isValid() ? std::optional<QUrl>(url) : std::nullopt;
}

// Shortcut files come from anywhere (a download, a drop); a huge or unreadable one is refused
// without being read whole.
std::optional<QByteArray> readShortcutFile(const QString &path)
{
    QString failure;
    std::optional<QByteArray> bytes = readSmallFile(path, smallFileSizeLimit, &failure);
    if (!bytes)
        qCInfo(appLogger, "Ignoring shortcut file %s: %s", qUtf8Printable(loggedText(path)), qUtf8Printable(failure));
    return bytes;
}

bool isLineBreak(QChar c)
{
    return (c >= u'\n' && c <= u'\r') || c == QChar(0x85) || c == QChar(0x2028) || c == QChar(0x2029);
}

// Aliases are symbolic links here: one is resolved one level at a time, so chains and cycles
// go through the walk's own hop budget and cycle guard.
std::optional<QString> aliasTarget(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return std::nullopt;
    return nonEmpty(info.symLinkTarget());
}

std::optional<QString> displayNameOf(const QString &path)
{
    return nonEmpty(DisplayNames::shared().displayNameAtPath(path).trimmed());
}

std::optional<QString> stringInformation(const ApplicationBundle &bundle, const QString &key)
{
    const QVariant value = bundle.informationValue(key);
    if (value.metaType().id() != QMetaType::QString)
        return std::nullopt;
    return nonEmpty(value.toString());
}

} // namespace

const QSet<QString> &blockedURLSchemes()
{
    static const QSet<QString> schemes{QStringLiteral("about"), QStringLiteral("blob"), QStringLiteral("data"), QStringLiteral("javascript")};
    return schemes;
}

const QSet<QString> &shortcutFileExtensions()
{
    static const QSet<QString> extensions{QStringLiteral("webloc"), QStringLiteral("inetloc")};
    return extensions;
}

std::optional<QUrl> webLocationFileTarget(const QString &path)
{
    const std::optional<QByteArray> bytes = readShortcutFile(path);
    if (!bytes)
        return std::nullopt;
    const std::optional<QVariant> root = PropertyList::parse(*bytes);
    if (!root || root->metaType().id() != QMetaType::QVariantMap) {
        qCInfo(appLogger, "Ignoring shortcut file %s: not a property-list dictionary", qUtf8Printable(loggedText(path)));
        return std::nullopt;
    }
    const QVariant target = root->toMap().value(QStringLiteral("URL"));
    if (target.metaType().id() != QMetaType::QString)
        return std::nullopt;
    return urlFromShortcutText(target.toString());
}

std::optional<QUrl> internetShortcutFileTarget(const QString &path)
{
    const std::optional<QByteArray> bytes = readShortcutFile(path);
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(*bytes);
    if (decoder.hasError() || text.contains(QChar(0))) {
        qCInfo(appLogger, "Ignoring shortcut file %s: not UTF-8 text", qUtf8Printable(loggedText(path)));
        return std::nullopt;
    }
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && !isLineBreak(text.at(end)))
            ++end;
        const QString line = text.mid(start, end - start).trimmed();
        // The first "url=" line decides, even when its value is no URL.
        if (line.startsWith(QLatin1String("url="), Qt::CaseInsensitive))
            return urlFromShortcutText(line.mid(4));
        start = end + 1;
    }
    return std::nullopt;
}

ResolvedShortcut resolveAddedURL(const QUrl &url, const std::optional<QString> &name)
{
    std::optional<QString> preferredName = name ? nonEmpty(name->trimmed()) : std::nullopt;
    QUrl current = url;
    QSet<QString> visited;
    for (int hopsLeft = maximumHops; hopsLeft > 0; --hopsLeft) {
        if (!current.isLocalFile())
            break;
        const QString path = QDir::cleanPath(current.toLocalFile());
        if (visited.contains(path))
            break;
        visited.insert(path);

        const QString extension = pathExtension(path).toLower();
        std::optional<QUrl> target;
        if (shortcutFileExtensions().contains(extension))
            target = webLocationFileTarget(path);
        else if (extension == QLatin1String("url"))
            target = internetShortcutFileTarget(path);
        if (target) {
            if (!preferredName)
                preferredName = nonEmpty(lastPathComponentWithoutExtension(path));
            current = *target;
            continue;
        }

        std::optional<QString> next = aliasTarget(path);
        if (!next && QFileInfo(path).isSymLink()) {
            const QString canonical = QFileInfo(path).canonicalFilePath();
            next = canonical.isEmpty() ? path : canonical;
        }
        if (!next)
            break;
        if (!preferredName)
            preferredName = displayNameOf(path);
        current = QUrl::fromLocalFile(QDir::cleanPath(*next));
    }
    return ResolvedShortcut{current, preferredName};
}

AppItem makeFileItem(const QUrl &url, const std::optional<QString> &name)
{
    const QString path = QDir::cleanPath(url.toLocalFile());
    if (ApplicationBundles::isApplicationPath(path)) {
        if (const std::optional<ApplicationBundle> bundle = ApplicationBundles::shared().bundleAt(path)) {
            QString title;
            if (name)
                title = *name;
            else if (auto displayName = stringInformation(*bundle, QStringLiteral("CFBundleDisplayName")))
                title = *displayName;
            else if (auto bundleName = stringInformation(*bundle, QStringLiteral("CFBundleName")))
                title = *bundleName;
            else
                title = lastPathComponentWithoutExtension(path);
            const QString identifier = bundle->bundleIdentifier.value_or(QStringLiteral("file:") + path);
            return AppItem{QUuid::createUuid(), identifier, title, path};
        }
    }
    QString title = name ? *name : DisplayNames::shared().displayNameAtPath(path);
    if (title.isEmpty())
        title = lastPathComponent(path);
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, title, path};
}

std::optional<AppItem> makeWebItem(const QUrl &url, const std::optional<QString> &name)
{
    const QString scheme = url.scheme().toLower();
    if (scheme.isEmpty() || scheme == QLatin1String("file") || blockedURLSchemes().contains(scheme))
        return std::nullopt;
    const QString absolute = url.toString(QUrl::FullyEncoded);
    QString title;
    if (name)
        title = *name;
    else if (!url.host().isEmpty())
        title = url.host();
    else
        title = absolute;
    return AppItem{QUuid::createUuid(), QStringLiteral("url:") + absolute, title, absolute};
}
