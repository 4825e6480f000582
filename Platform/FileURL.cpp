#include "Platform/FileURL.h"

QString localPathOfFileURL(const QUrl &url)
{
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        QUrl local(url);
        local.setHost(QString());
        return local.toLocalFile();
    }
    return url.toLocalFile();
}
