#include "Tallyline/Sha256Hex.h"

#include <QCryptographicHash>

QString sha256Hex(const QString &text, const QString &salt)
{
    const QByteArray bytes = (text + salt).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
