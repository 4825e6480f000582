#include "tests/popup/PopupTestSupport.h"

#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Platform/fake/FakeGlobalEventMonitor.h"
#include "Platform/fake/FakeWorkspaceOpener.h"

#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTest>

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

QList<AppItem> colouredApplications(const QString &folder)
{
    return {
        desktopApplication(folder, QStringLiteral("Mail"), QColor(0x2D6CDF)),
        desktopApplication(folder, QStringLiteral("Calendar"), QColor(0xE8553E)),
        desktopApplication(folder, QStringLiteral("Notes"), QColor(0xF2B63B)),
        desktopApplication(folder, QStringLiteral("Maps"), QColor(0x34A853)),
        desktopApplication(folder, QStringLiteral("Photos Library Manager"), QColor(0x9B51E0)),
    };
}

FakeWorkspaceOpener *installFakePlatform()
{
    auto opener = std::make_unique<FakeWorkspaceOpener>();
    FakeWorkspaceOpener *installed = opener.get();
    WorkspaceOpener::install(std::move(opener));
    GlobalEventMonitor::installFactory([] { return std::make_unique<FakeGlobalEventMonitor>(); });
    return installed;
}

std::unique_ptr<PopupWindowController> makeController(PopupItemStates *states,
                                                      std::function<QList<GroupShortcut>()> shortcuts)
{
    auto controller = std::make_unique<PopupWindowController>();
    controller->setSignalSink([](const QString &, const QMap<QString, QString> &) {});
    controller->setItemStates(states);
    controller->setShortcutsSource(std::move(shortcuts));
    controller->dockPositionSource = [] { return DockPosition::Bottom; };
    controller->visibleFrameSource = [] { return QRectF(0, 70, 1440, 805); };
    return controller;
}

InteractivePopupPanel *showGrownIn(PopupWindowController &controller, const AppGroup &group)
{
    controller.showPopup(group, {}, QRectF(700, 4, 60, 60));
    InteractivePopupPanel *panel = controller.panel();
    if (!panel || !QTest::qWaitForWindowExposed(panel))
        return nullptr;
    if (!QTest::qWaitFor([panel] { return !panel->content()->graphicsEffect(); }, 20000))
        return nullptr;
    return panel;
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
