#include "Platform/FileURL.h"

bool isLocalFileURL(const QUrl &url)
{
    return url.isLocalFile()
        && (url.host().isEmpty() || url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
}

QString localPathOfFileURL(const QUrl &url)
{
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        QUrl local(url);
        local.setHost(QString());
        return local.toLocalFile();
    }
    return url.toLocalFile();
}
