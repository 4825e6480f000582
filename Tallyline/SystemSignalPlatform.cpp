#include "Tallyline/SystemSignalPlatform.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QSysInfo>

#include <sys/utsname.h>

namespace {

QMutex readersMutex;
SystemSignalPlatform::HostReaders hostReaders;

SystemSignalPlatform::HostReaders readers()
{
    QMutexLocker lock(&readersMutex);
    return hostReaders;
}

} // namespace

void SystemSignalPlatform::setHostReaders(HostReaders newReaders)
{
    QMutexLocker lock(&readersMutex);
    hostReaders = std::move(newReaders);
}

QDateTime SystemSignalPlatform::now() const
{
    return QDateTime::currentDateTime();
}

QTimeZone SystemSignalPlatform::timeZone() const
{
    return QTimeZone::systemTimeZone();
}

QLocale SystemSignalPlatform::locale() const
{
    return QLocale::system();
}

QStringList SystemSignalPlatform::preferredLanguages() const
{
    return QLocale::system().uiLanguages();
}

QVersionNumber SystemSignalPlatform::systemVersion() const
{
    const QVersionNumber version = QVersionNumber::fromString(QSysInfo::productVersion());
    if (!version.isNull())
        return version;
    return QVersionNumber::fromString(QSysInfo::kernelVersion());
}

QString SystemSignalPlatform::modelNameFrom(const QByteArray &productName, const QString &machine)
{
    QByteArray text = productName;
    const qsizetype nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    const QString name = QString::fromUtf8(text).section(QLatin1Char('\n'), 0, 0).trimmed();
    return name.isEmpty() ? machine : name;
}

QString SystemSignalPlatform::modelName() const
{
    QString machine;
    struct utsname info {};
    if (uname(&info) == 0)
        machine = QString::fromUtf8(info.machine);
    QFile file(QStringLiteral("/sys/devices/virtual/dmi/id/product_name"));
    QByteArray productName;
    if (file.open(QIODevice::ReadOnly))
        productName = file.read(256);
    return modelNameFrom(productName, machine);
}

QString SystemSignalPlatform::architecture() const
{
    return QSysInfo::buildCpuArchitecture();
}

std::optional<SignalPlatform::Screen> SystemSignalPlatform::mainScreen() const
{
    const auto reader = readers().mainScreen;
    return reader ? reader() : std::nullopt;
}

QString SystemSignalPlatform::colorScheme() const
{
    const auto reader = readers().colorScheme;
    return reader ? reader() : QStringLiteral("N/A");
}

QString SystemSignalPlatform::layoutDirection() const
{
    const auto reader = readers().layoutDirection;
    return reader ? reader() : QStringLiteral("N/A");
}

std::optional<QString> SystemSignalPlatform::bundleInfoString(const QString &key) const
{
    if (const auto reader = readers().bundleInfoString)
        return reader(key);
    if (key == QLatin1String("CFBundleShortVersionString") && QCoreApplication::instance()
        && !QCoreApplication::applicationVersion().isEmpty())
        return QCoreApplication::applicationVersion();
    return std::nullopt;
}

bool SystemSignalPlatform::hasSandboxReceipt() const
{
    return false;
}

std::optional<SignalPlatform::UniversalAccess> SystemSignalPlatform::universalAccess() const
{
    return std::nullopt;
}
