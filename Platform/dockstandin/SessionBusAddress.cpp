#include "Platform/dockstandin/SessionBusAddress.h"

#include <cstdlib>
#include <unistd.h>

namespace {

const char addressVariable[] = "DBUS_SESSION_BUS_ADDRESS";

// Set only by pinForThisProcess, which runs before any other thread exists.
bool pinned = false;

bool isOptionallyEscaped(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
        || c == '/' || c == '.' || c == '*';
}

} // namespace

QByteArray SessionBusAddress::standardAddress(const QString &runtimeDirectory)
{
    QByteArray address("unix:path=");
    for (const char c : (runtimeDirectory + QStringLiteral("/bus")).toLocal8Bit()) {
        if (isOptionallyEscaped(c))
            address += c;
        else
            address += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    }
    return address;
}

void SessionBusAddress::pinForThisProcess()
{
    if (!qEnvironmentVariableIsEmpty(addressVariable))
        return;
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = QStringLiteral("/run/user/%1").arg(getuid());
    setenv(addressVariable, standardAddress(runtime).constData(), 1);
    pinned = true;
}

QProcessEnvironment SessionBusAddress::launchEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (pinned)
        environment.remove(QString::fromLatin1(addressVariable));
    return environment;
}
