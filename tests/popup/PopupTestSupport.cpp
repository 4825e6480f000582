#include "tests/popup/PopupTestSupport.h"

namespace PopupTest {

AppItem application(const QString &name)
{
    const QString identifier = QStringLiteral("org.example.") + QString(name).remove(u' ');
    return {QUuid::createUuid(), identifier, name, QStringLiteral("/usr/share/applications/") + identifier + ".desktop"};
}

AppItem document(const QString &name, const QString &path)
{
    return {QUuid::createUuid(), QStringLiteral("file:") + path, name, path};
}

AppItem link(const QString &name, const QString &url)
{
    return {QUuid::createUuid(), QStringLiteral("url:") + url, name, url};
}

AppItem hiddenItem()
{
    return {QUuid::createUuid(), QStringLiteral("kestrowan.internal.settings-dock"), QStringLiteral("Settings"),
            QStringLiteral("/opt/kestrowan/Kestrowan.desktop")};
}

AppGroup group(const QString &name, const QList<AppItem> &items, AppGroup::DisplayStyle style)
{
    AppGroup group;
    group.id = QUuid::createUuid();
    group.name = name;
    group.apps = items;
    group.displayStyle = style;
    return group;
}

AppGroup numberedGroup(int count, AppGroup::DisplayStyle style)
{
    QList<AppItem> items;
    for (int i = 1; i <= count; ++i)
        items.append(application(QStringLiteral("App %1").arg(i)));
    return group(QStringLiteral("Numbered"), items, style);
}

QStringList SignalRecorder::names() const
{
    QStringList names;
    for (const auto &signal : sent)
        names.append(signal.first);
    return names;
}

} // namespace PopupTest
