#include "Kestrowan/shell/LaunchAtLogin.h"

#include "Platform/logging/SystemErrorText.h"

#include <cerrno>
#include <unistd.h>
#include "Kestrowan/shell/Log.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace LaunchAtLogin {

QString autostartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/kestrowan.desktop");
}

bool isEnabled()
{
    const std::optional<DesktopEntry> entry = DesktopEntry::load(autostartEntryPath());
    if (!entry)
        return false;
    const QString gnomeEnabled = entry->value(QStringLiteral("X-GNOME-Autostart-enabled")).trimmed();
    return !entry->boolean(QStringLiteral("Hidden")) && gnomeEnabled != QStringLiteral("false");
}

namespace {

std::optional<QString> fail(const QString &reason)
{
    qCCritical(appLogger, "Launch at login toggle failed: %s", qUtf8Printable(reason));
    return reason;
}

} // namespace

std::optional<QString> setLaunchAtLogin(bool enabled, const QString &programPath)
{
    const QString path = autostartEntryPath();
    if (!enabled) {
        QFile file(path);
        if ((file.exists() || QFileInfo(path).isSymLink()) && ::unlink(QFile::encodeName(path).constData()) != 0)
            return fail(systemErrorText(errno));
        return std::nullopt;
    }
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Kestrowan\n"
                                            "Exec=%1\n"
                                            "Icon=kestrowan\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(DesktopEntry::execArgument(programPath))
                                 .toUtf8();
    if (const std::optional<QString> reason = SafeWrite::replaceFile(path, entry, SafeWrite::Folder::Make))
        return fail(*reason);
    return std::nullopt;
}

} // namespace LaunchAtLogin
