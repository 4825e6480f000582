#include "tests/mainwindow/DemoApps.h"

#include "Kestrowan/shell/SymbolImage.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QUuid>

const QList<DemoApp> &demoApps()
{
    static const QList<DemoApp> apps{
        {QStringLiteral("Mail"), QStringLiteral("doc.text.fill"), QColor(QRgb(0x5AC8FA)), QColor(QRgb(0x007AFF))},
        {QStringLiteral("Music"), QStringLiteral("music.note"), QColor(QRgb(0xFF6B81)), QColor(QRgb(0xE0245E))},
        {QStringLiteral("Photos"), QStringLiteral("photo.fill"), QColor(QRgb(0xFFD166)), QColor(QRgb(0xF77F00))},
        {QStringLiteral("Films"), QStringLiteral("film.fill"), QColor(QRgb(0x4A4A4A)), QColor(QRgb(0x1C1C1E))},
        {QStringLiteral("Terminal"), QStringLiteral("keyboard"), QColor(QRgb(0x3A3A3C)), QColor(QRgb(0x000000))},
        {QStringLiteral("Files"), QStringLiteral("folder.fill"), QColor(QRgb(0x64D2FF)), QColor(QRgb(0x0A84FF))},
        {QStringLiteral("Notes"), QStringLiteral("pencil"), QColor(QRgb(0xFFE66D)), QColor(QRgb(0xF4B400))},
        {QStringLiteral("Archive Utility"), QStringLiteral("archivebox.fill"), QColor(QRgb(0xC7A17A)), QColor(QRgb(0x8D6E63))},
        {QStringLiteral("Packages"), QStringLiteral("shippingbox"), QColor(QRgb(0xA0E57F)), QColor(QRgb(0x34C759))},
        {QStringLiteral("Sketchbook"), QStringLiteral("hand.draw"), QColor(QRgb(0xD6A4FF)), QColor(QRgb(0xAF52DE))},
        {QStringLiteral("Mixer"), QStringLiteral("slider.horizontal.3"), QColor(QRgb(0xFF9F7A)), QColor(QRgb(0xFF5E3A))},
        {QStringLiteral("Browser"), QStringLiteral("link"), QColor(QRgb(0x7AD7F0)), QColor(QRgb(0x0091D5))},
        {QStringLiteral("Finder"), QStringLiteral("magnifyingglass"), QColor(QRgb(0x9AA5B1)), QColor(QRgb(0x5B6770))},
        {QStringLiteral("Settings"), QStringLiteral("gearshape"), QColor(QRgb(0xB0B0B5)), QColor(QRgb(0x6E6E73))},
    };
    return apps;
}

AppItem installDemoApp(const DemoApp &app)
{
    const QString folder = QDir::homePath() + QStringLiteral("/.local/share/applications");
    QDir().mkpath(folder);
    const QString id = QStringLiteral("org.demo.") + QString(app.name).remove(u' ');
    const QString iconPath = folder + u'/' + id + QStringLiteral(".png");

    QImage icon(256, 256, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 16, 0, 240);
    gradient.setColorAt(0, app.top);
    gradient.setColorAt(1, app.bottom);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(16, 16, 224, 224), 52, 52);
    painter.fillPath(shape, gradient);
    if (const auto symbol = SymbolImage::named(app.symbol)) {
        const SymbolImage glyph = symbol->configured(110, SymbolImage::Weight::Semibold, Qt::white);
        const QSizeF size = glyph.size();
        glyph.render(painter, QRectF(QPointF(128 - size.width() / 2, 128 - size.height() / 2), size));
    }
    painter.end();
    icon.save(iconPath);

    const QString entryPath = folder + u'/' + id + QStringLiteral(".desktop");
    QFile entry(entryPath);
    if (entry.open(QIODevice::WriteOnly | QIODevice::Truncate))
        entry.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=true\nIcon=%2\n").arg(app.name, iconPath).toUtf8());
    return AppItem{QUuid::createUuid(), id, app.name, entryPath};
}

QList<AppItem> installDemoApps()
{
    QList<AppItem> items;
    for (const DemoApp &app : demoApps())
        items.append(installDemoApp(app));
    return items;
}
