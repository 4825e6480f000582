#include "tests/popup/PopupTestSupport.h"

#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace PopupTest {

AppItem desktopApplication(const QString &folder, const QString &name, const QColor &color)
{
    const QString identifier = QStringLiteral("org.example.") + QString(name).remove(u' ');
    const QString iconPath = folder + u'/' + identifier + QStringLiteral(".png");
    QImage icon(256, 256, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(0, 0, 0, 256);
        gradient.setColorAt(0, color.lighter(125));
        gradient.setColorAt(1, color.darker(115));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawRoundedRect(QRectF(16, 16, 224, 224), 52, 52);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(128);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(16, 16, 224, 224), Qt::AlignCenter, name.left(1));
    }
    icon.save(iconPath);
    const QString entryPath = folder + u'/' + identifier + QStringLiteral(".desktop");
    QFile entry(entryPath);
    if (entry.open(QIODevice::WriteOnly)) {
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/true\nIcon=%2\n")
                        .arg(name, iconPath)
                        .toUtf8());
    }
    return {QUuid::createUuid(), identifier, name, entryPath};
}

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

ScopedEnvironment::~ScopedEnvironment()
{
    for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it)
        it->second.isNull() ? qunsetenv(it->first) : qputenv(it->first, it->second);
}

void ScopedEnvironment::set(const char *name, const QByteArray &value)
{
    m_saved.append({name, qgetenv(name)});
    value.isEmpty() ? qunsetenv(name) : qputenv(name, value);
}

} // namespace PopupTest
