#include "Kestrowan/app/DesktopIntegration.h"

#include "Kestrowan/shell/Log.h"
#include "Platform/BoundedFile.h"
#include "Platform/linux/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString desktopFileName = QStringLiteral("kestrowan.desktop");

bool writeIfChanged(const QString &path, const QByteArray &content)
{
    if (const auto current = readSmallFile(path); current && *current == content)
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        qCWarning(appLogger, "Could not write %s", qUtf8Printable(path));
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

QString withKestrowanDefaults(const QString &mimeAppsList)
{
    const QString section = QStringLiteral("[Default Applications]");
    QStringList lines = mimeAppsList.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    // Drop our two keys from the section, then add them right after its header.
    int header = -1;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines.at(i).trimmed();
        if (trimmed.startsWith(u'[')) {
            inSection = trimmed == section;
            if (inSection && header < 0)
                header = i;
            continue;
        }
        if (inSection && (trimmed.startsWith(schemeMimeType + u'=') || trimmed.startsWith(linkFileMimeType + u'='))) {
            lines.removeAt(i);
            --i;
        }
    }
    const QStringList ours{schemeMimeType + u'=' + desktopFileName + u';', linkFileMimeType + u'=' + desktopFileName + u';'};
    if (header < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines.append(section);
        lines.append(ours);
    } else {
        for (int i = 0; i < ours.size(); ++i)
            lines.insert(header + 1 + i, ours.at(i));
    }
    return lines.join(u'\n') + u'\n';
}

void installDesktopIntegration(const QString &programPath)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    writeIfChanged(data + QStringLiteral("/applications/") + desktopFileName, kestrowanDesktopEntry(programPath).toUtf8());
    // The icon the entry names, in the user's icon theme folder.
    if (const auto icon = readSmallFile(QStringLiteral(":/Kestrowan_Kestrowan.bundle/AppIcon.svg")))
        writeIfChanged(data + QStringLiteral("/icons/hicolor/scalable/apps/kestrowan.svg"), *icon);
    const QString mimeFolder = data + QStringLiteral("/mime");
    if (writeIfChanged(mimeFolder + QStringLiteral("/packages/kestrowan.xml"), QByteArray(linkTypeDefinition))) {
        const QString tool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
        if (!tool.isEmpty())
            QProcess::startDetached(tool, {mimeFolder});
    }
    const QString mimeApps = config + QStringLiteral("/mimeapps.list");
    const QString current = QString::fromUtf8(readSmallFile(mimeApps).value_or(QByteArray()));
    writeIfChanged(mimeApps, withKestrowanDefaults(current).toUtf8());
}
