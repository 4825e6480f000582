#include "Platform/linux/TypeTable.h"

#include <QMimeDatabase>

namespace {

struct KnownType {
    const char *identifier;
    const char *mimeType;
    const char *extensions; // space-separated, lower case
};

constexpr KnownType knownTypes[] = {
    {"com.adobe.pdf", "application/pdf", "pdf"},
    {"public.plain-text", "text/plain", "txt text"},
    {"public.rtf", "text/rtf", "rtf"},
    {"public.html", "text/html", "html htm"},
    {"public.xml", "application/xml", "xml"},
    {"public.json", "application/json", "json"},
    {"public.comma-separated-values-text", "text/csv", "csv"},
    {"net.daringfireball.markdown", "text/markdown", "md markdown"},
    {"public.png", "image/png", "png"},
    {"public.jpeg", "image/jpeg", "jpg jpeg"},
    {"com.compuserve.gif", "image/gif", "gif"},
    {"public.tiff", "image/tiff", "tif tiff"},
    {"public.heic", "image/heic", "heic"},
    {"public.svg-image", "image/svg+xml", "svg"},
    {"public.mp3", "audio/mpeg", "mp3"},
    {"public.mpeg-4", "video/mp4", "mp4"},
    {"com.apple.quicktime-movie", "video/quicktime", "mov"},
    {"public.zip-archive", "application/zip", "zip"},
    {"org.openxmlformats.wordprocessingml.document",
     "application/vnd.openxmlformats-officedocument.wordprocessingml.document", "docx"},
    {"org.openxmlformats.spreadsheetml.sheet",
     "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "xlsx"},
    {"org.openxmlformats.presentationml.presentation",
     "application/vnd.openxmlformats-officedocument.presentationml.presentation", "pptx"},
    {"com.apple.web-internet-location", "application/x-webloc", "webloc"},
    {"public.url", "x-scheme-handler/https", ""},
};

} // namespace

std::optional<QString> dataTypeForExtension(const QString &extension)
{
    if (extension.isEmpty())
        return std::nullopt;
    const QString lowered = extension.toLower();
    for (const KnownType &known : knownTypes) {
        if (QString::fromLatin1(known.extensions).split(u' ', Qt::SkipEmptyParts).contains(lowered))
            return QString::fromLatin1(known.identifier);
    }
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(QStringLiteral("file.") + extension, QMimeDatabase::MatchExtension);
    // Folders and unknown names are no data type.
    if (!mime.isValid() || mime.isDefault() || mime.name() == QLatin1String("inode/directory"))
        return std::nullopt;
    return mime.name();
}

QString mimeTypeForTypeIdentifier(const QString &type)
{
    if (type.contains(u'/'))
        return type;
    for (const KnownType &known : knownTypes) {
        if (type == QLatin1String(known.identifier))
            return QString::fromLatin1(known.mimeType);
    }
    return {};
}
