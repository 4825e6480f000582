#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool processIsRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) state ...": the name may hold anything, so the state is found after its last ')'.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

QString installApplicationWithScalableIcon(const QString &iconName, const QString &color)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    writeTestFile(data + QStringLiteral("/icons/hicolor/scalable/apps/") + iconName + QStringLiteral(".svg"),
                  QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\" viewBox=\"0 0 48 48\">"
                                 "<rect width=\"48\" height=\"48\" fill=\"%1\"/></svg>\n")
                      .arg(color)
                      .toUtf8());
    // Beside the installed applications, not among them: what a test lists of those stays as it was.
    const QString entry = data + QStringLiteral("/test-entries/") + iconName + QStringLiteral(".desktop");
    writeTestFile(entry, QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/true\nIcon=%1\n").arg(iconName).toUtf8());
    return entry;
}
