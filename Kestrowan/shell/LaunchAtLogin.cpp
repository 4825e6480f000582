#include "Kestrowan/shell/LaunchAtLogin.h"

#include "Platform/logging/SystemErrorText.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/safewrite/OwnFiles.h"
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

// The record of the autostart folder the program made itself: its path and its identity on disk
// (device and inode, as text), and a mark on the folder itself, so that a folder the user made
// later in its place (which may even get the same inode number) is never taken for it.
const QString madeFolderKey = QStringLiteral("autostartFolderMadeByKestrowan");
const QByteArray madeFolderMark = QByteArrayLiteral("autostart-folder");

QString identityOf(const struct stat &status)
{
    return QStringLiteral("%1:%2").arg(quint64(status.st_dev)).arg(quint64(status.st_ino));
}

std::optional<QString> folderIdentity(const QString &folder)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return std::nullopt;
    return identityOf(status);
}

// Removes the autostart folder when the record says the program made it and it is empty now.
void removeMadeFolder(const QString &folder)
{
    UserDefaults &defaults = UserDefaults::standard();
    const QStringList record = defaults.stringList(madeFolderKey);
    if (record.size() != 2 || record.first() != folder)
        return;
    const QFileInfo info(folder);
    const QString identity = record.last();
    QString failure;
    const OwnFiles::Removal removal = OwnFiles::removeEntry(
        info.absolutePath(), info.fileName(),
        [&identity](int descriptor, const struct stat &status) {
            if (!S_ISDIR(status.st_mode) || identityOf(status) != identity || !OwnFiles::isMarked(descriptor, madeFolderMark))
                return false;
            bool complete = false;
            return OwnFiles::namesIn(descriptor, &complete).isEmpty() && complete;
        },
        &failure);
    // Gone, or no longer the one the program made: nothing is left to remember. One that holds
    // the user's entries now stays, and stays remembered.
    if (removal == OwnFiles::Removal::Removed || removal == OwnFiles::Removal::Absent || folderIdentity(folder) != identity)
        defaults.remove(madeFolderKey);
    else if (removal == OwnFiles::Removal::Failed)
        qCWarning(appLogger, "Could not remove the autostart folder it made: %s", qUtf8Printable(failure));
}

} // namespace

std::optional<QString> setLaunchAtLogin(bool enabled, const QString &programPath)
{
    const QString path = autostartEntryPath();
    if (!enabled) {
        QFile file(path);
        if ((file.exists() || QFileInfo(path).isSymLink()) && ::unlink(QFile::encodeName(path).constData()) != 0)
            return fail(systemErrorText(errno));
        removeMadeFolder(QFileInfo(path).absolutePath());
        return std::nullopt;
    }
    const QString folder = QFileInfo(path).absolutePath();
    const bool folderWasThere = QFileInfo(folder).exists() || QFileInfo(folder).isSymLink();
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
    // The folder made for the entry is the program's: it goes again with the entry.
    if (!folderWasThere) {
        const std::optional<QString> identity = folderIdentity(folder);
        if (identity && OwnFiles::mark(folder, madeFolderMark))
            UserDefaults::standard().setValue(madeFolderKey, QStringList{folder, *identity});
    }
    return std::nullopt;
}

} // namespace LaunchAtLogin
