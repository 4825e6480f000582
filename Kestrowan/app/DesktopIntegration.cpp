#include "Kestrowan/app/DesktopIntegration.h"

#include "Kestrowan/shell/Log.h"
#include "Platform/BoundedFile.h"
#include "Platform/linux/ChildOutput.h"
#include "Platform/linux/ChildProcess.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/safewrite/SafeWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QCoreApplication>
#include <QProcess>
#include <QTimer>
#include <QStandardPaths>

#include <memory>

namespace {

const QString desktopFileName = QStringLiteral("kestrowan.desktop");

// The user's list of default applications may have grown large over the years; far beyond any
// real one it is left alone.
constexpr qint64 mimeAppsSizeLimit = 16 * 1024 * 1024;

bool writeIfChanged(const QString &path, const QByteArray &content, qint64 sizeLimit = smallFileSizeLimit)
{
    if (const auto current = readSmallFile(path, sizeLimit); current && *current == content)
        return false;
    if (const std::optional<QString> failure = SafeWrite::replaceFile(path, content, SafeWrite::Folder::Make)) {
        qCWarning(appLogger, "Could not write %s: %s", qUtf8Printable(path), qUtf8Printable(*failure));
        return false;
    }
    return true;
}

const char linkTypeDefinition[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-kestrowanlink">
    <comment>Kestrowan link</comment>
    <sub-class-of type="application/x-plist"/>
    <glob pattern="*.kestrowanlink" case-sensitive="true"/>
  </mime-type>
</mime-info>
)";

bool fileMentions(const QString &path, const QByteArray &text)
{
    const std::optional<QByteArray> content = readSmallFile(path, smallFileSizeLimit);
    return content && content->contains(text);
}

// The desktop's cache tools read every file in the folder they are given, so a FIFO left there by
// someone else holds them for ever. Each run belongs to the application, hears nothing of ours on
// its standard streams, and is ended at its deadline or when the application goes.
constexpr int cacheToolDeadlineMilliseconds = 20000;

void runCacheTool(const QString &name, const QStringList &arguments)
{
    const QString tool = QStandardPaths::findExecutable(name);
    if (tool.isEmpty()) {
        qCWarning(appLogger, "%s is not installed; links and link files may not reach Kestrowan", qUtf8Printable(name));
        return;
    }
    auto *process = new QProcess(QCoreApplication::instance());
    process->setProgram(tool);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    // What it says goes to the log, a bounded amount of it.
    process->setProcessChannelMode(QProcess::MergedChannels);
    auto said = std::make_shared<ChildOutput>();
    ChildProcess::prepare(*process, ChildProcess::Tie::Bounded);
    QObject::connect(process, &QProcess::readyReadStandardOutput, process,
                     [process, said] { said->append(process->readAllStandardOutput()); });
    QObject::connect(process, &QProcess::finished, process, [process, said, name] {
        said->append(process->readAllStandardOutput());
        said->log(name);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, name](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            qCWarning(appLogger, "Could not start %s", qUtf8Printable(name));
            process->deleteLater();
        }
    });
    QTimer::singleShot(cacheToolDeadlineMilliseconds, process, [process, name] {
        qCWarning(appLogger, "%s did not finish in time; ended it", qUtf8Printable(name));
        process->kill();
    });
    process->start();
}

} // namespace

QString kestrowanDesktopEntry(const QString &programPath)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Kestrowan\n"
                          "Comment=Groups of applications, documents and links for the Dock\n"
                          "Exec=%1 %U\n"
                          "Icon=kestrowan\n"
                          "Terminal=false\n"
                          "Categories=Utility;\n"
                          "StartupWMClass=Kestrowan\n"
                          "MimeType=%2;%3;\n")
        .arg(DesktopEntry::execArgument(programPath), schemeMimeType, linkFileMimeType);
}

QByteArray withKestrowanDefaults(const QByteArray &mimeAppsList)
{
    // Worked on as bytes: the file belongs to the user and other programs, and every line that is
    // not ours goes back exactly as it was, whatever its encoding or line ending.
    const QByteArray section = "[Default Applications]";
    const QByteArray schemeKey = schemeMimeType.toUtf8() + '=';
    const QByteArray linkKey = linkFileMimeType.toUtf8() + '=';
    QList<QByteArray> lines = mimeAppsList.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    // Drop our two keys from the section, then add them right after its header.
    int header = -1;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = lines.at(i).trimmed();
        if (trimmed.startsWith('[')) {
            inSection = trimmed == section;
            if (inSection && header < 0)
                header = i;
            continue;
        }
        if (inSection && (trimmed.startsWith(schemeKey) || trimmed.startsWith(linkKey))) {
            lines.removeAt(i);
            --i;
        }
    }
    const QByteArray entry = desktopFileName.toUtf8() + ';';
    const QList<QByteArray> ours{schemeKey + entry, linkKey + entry};
    if (header < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QByteArray());
        lines.append(section);
        lines.append(ours);
    } else {
        for (int i = 0; i < ours.size(); ++i)
            lines.insert(header + 1 + i, ours.at(i));
    }
    return lines.join('\n') + '\n';
}

void installDesktopIntegration(const QString &programPath)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString applications = data + QStringLiteral("/applications");
    const bool entryChanged = writeIfChanged(applications + u'/' + desktopFileName, kestrowanDesktopEntry(programPath).toUtf8());
    // The desktops that list handlers from the folder's cache find the entry there; the cache is
    // rebuilt when the entry changed or does not name it yet (the tool came later, say).
    if (entryChanged || !fileMentions(applications + QStringLiteral("/mimeinfo.cache"), desktopFileName.toUtf8()))
        runCacheTool(QStringLiteral("update-desktop-database"), {applications});
    // The icon the entry names, in the user's icon theme folder.
    if (const auto icon = readSmallFile(QStringLiteral(":/Kestrowan_Kestrowan.bundle/AppIcon.svg")))
        writeIfChanged(data + QStringLiteral("/icons/hicolor/scalable/apps/kestrowan.svg"), *icon);
    const QString mimeFolder = data + QStringLiteral("/mime");
    // A link file is typed by the database built from the definition (xdg-mime asks it through
    // "mimetype"); it is built again when the definition changed or does not hold our type yet.
    if (writeIfChanged(mimeFolder + QStringLiteral("/packages/kestrowan.xml"), QByteArray(linkTypeDefinition))
        || !fileMentions(mimeFolder + QStringLiteral("/globs2"), linkFileMimeType.toUtf8()))
        runCacheTool(QStringLiteral("update-mime-database"), {mimeFolder});
    const QString mimeApps = config + QStringLiteral("/mimeapps.list");
    const QFileInfo mimeAppsInfo(mimeApps);
    QString failure;
    const std::optional<QByteArray> current = mimeAppsInfo.exists() || mimeAppsInfo.isSymLink()
                                                  ? readSmallFile(mimeApps, mimeAppsSizeLimit, &failure)
                                                  : std::optional(QByteArray());
    // A list that could not be read whole is never rewritten: what we did not read would be lost.
    if (!current) {
        qCWarning(appLogger, "Left %s as it is: %s", qUtf8Printable(mimeApps), qUtf8Printable(loggedText(failure)));
        return;
    }
    writeIfChanged(mimeApps, withKestrowanDefaults(*current), mimeAppsSizeLimit);
}
