#include "tests/docktiles/DockTestSupport.h"

#include "Platform/PropertyList.h"
#include "Platform/linux/DockPreferencesFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString dockFilePath()
{
    return DockPreferencesFile::filePath();
}

void writeDockBytes(const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(dockFilePath()).absolutePath());
    QFile file(dockFilePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void writeDockFile(const QVariantMap &domain)
{
    writeDockBytes(PropertyList::toBinary(domain));
}

QByteArray dockFileBytes()
{
    QFile file(dockFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QVariantMap readDockFile()
{
    const std::optional<QVariant> root = PropertyList::parse(dockFileBytes());
    return root ? root->toMap() : QVariantMap();
}
