#include "Kestrowan/app/DesktopIntegration.h"
#include "Kestrowan/shell/LaunchAtLogin.h"
#include "Kestrowan/shell/StatusGlyph.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/GtkSystemAppearance.h"
#include "Platform/linux/TrayStatusItem.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

// The box of pixels that are not fully transparent.
QRect opaqueBounds(const QImage &image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

} // namespace

class TestShellParts : public QObject {
    Q_OBJECT
private:
    // xdg-open in its generic mode, as on a desktop it does not know; true when it says it opened.
    static bool runXdgOpen(const QString &xdgOpen, const QString &target)
    {
        QProcess open;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "BROWSER"})
            environment.remove(name);
        if (environment.value("DISPLAY").isEmpty())
            environment.insert("DISPLAY", ":0");
        open.setProcessEnvironment(environment);
        open.start(xdgOpen, {target});
        if (!open.waitForFinished(60000))
            return false;
        if (open.exitCode() != 0)
            qWarning("xdg-open %s: exit %d: %s", qPrintable(target), open.exitCode(), open.readAllStandardError().constData());
        return open.exitCode() == 0;
    }

private slots:
    void theGlyphFillsItsSquareAtEveryDensity()
    {
        for (qreal scale : {1.0, 2.0, 3.0}) {
            const QImage glyph = drawStatusGlyph(scale);
            QCOMPARE(glyph.size(), QSize(qRound(18 * scale), qRound(18 * scale)));
            QCOMPARE(glyph.devicePixelRatio(), scale);
            // The outline reaches from about 2 to 16 points on both axes, the curves bulging up.
            const QRectF points(QPointF(opaqueBounds(glyph).topLeft()) / scale, QSizeF(opaqueBounds(glyph).size()) / scale);
            QVERIFY2(points.left() >= 0.9 && points.left() < 2.5, qPrintable(QString::number(points.left())));
            QVERIFY2(points.right() > 15.5 && points.right() <= 17.1, qPrintable(QString::number(points.right())));
            QVERIFY2(points.top() >= 0.9 && points.top() < 3, qPrintable(QString::number(points.top())));
            QVERIFY2(points.bottom() > 15 && points.bottom() <= 17.1, qPrintable(QString::number(points.bottom())));
        }
        // Black only: a template picture.
        const QImage glyph = statusGlyph().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < glyph.height(); ++y)
            for (int x = 0; x < glyph.width(); ++x)
                QCOMPARE(qGray(glyph.pixel(x, y)) * (qAlpha(glyph.pixel(x, y)) > 0), 0);
        QCOMPARE(&statusGlyph(), &statusGlyph());
    }

    void theTrayPictureIsLightWithADarkRim()
    {
        const QImage picture = TrayStatusItem::trayPicture(statusGlyph()).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(picture.size(), QSize(44, 44));
        const QRect bounds = opaqueBounds(picture);
        QVERIFY2(bounds.width() > 34 && bounds.height() > 34, qPrintable(QString("%1x%2").arg(bounds.width()).arg(bounds.height())));
        int light = 0, dark = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb pixel = picture.pixel(x, y);
                if (qAlpha(pixel) < 200)
                    continue;
                (qGray(pixel) > 200 ? light : dark) += 1;
            }
        }
        QVERIFY(light > 100);
        QVERIFY(dark < light);
    }

    void launchAtLoginLivesInTheAutostartEntry()
    {
        const QString path = LaunchAtLogin::autostartEntryPath();
        QVERIFY(path.endsWith("/.config/autostart/kestrowan.desktop"));
        QVERIFY(!LaunchAtLogin::isEnabled());
        LaunchAtLogin::setLaunchAtLogin(true, "/opt/My Apps/Kestrowan");
        QVERIFY(LaunchAtLogin::isEnabled());
        const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
        QVERIFY(entry);
        QCOMPARE(entry->value("Exec"), QString("\"/opt/My Apps/Kestrowan\""));
        // Switched off by the desktop's own settings tool: reads as off.
        writeBytes(path, readBytes(path).replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false"));
        QVERIFY(!LaunchAtLogin::isEnabled());
        writeBytes(path, "[Desktop Entry]\nType=Application\nExec=x\nHidden=true\n");
        QVERIFY(!LaunchAtLogin::isEnabled());
        writeBytes(path, "garbage\x01\x02 without a group");
        QVERIFY(!LaunchAtLogin::isEnabled());
        LaunchAtLogin::setLaunchAtLogin(false, QString());
        QVERIFY(!QFile::exists(path));
        QVERIFY(!LaunchAtLogin::isEnabled());
        // Removing what is not there is no failure.
        LogCapture log;
        LaunchAtLogin::setLaunchAtLogin(false, QString());
        QCOMPARE(log.count("^Launch at login toggle failed"), 0);
    }

    void aFailedRegistrationIsLoggedAndAbsorbed()
    {
        const QString folder = QFileInfo(LaunchAtLogin::autostartEntryPath()).absolutePath();
        QDir(folder).removeRecursively();
        writeBytes(folder, "a file where the folder should be");
        LogCapture log;
        LaunchAtLogin::setLaunchAtLogin(true, "/usr/bin/kestrowan");
        QCOMPARE(log.count("^Launch at login toggle failed: "), 1);
        QVERIFY(!LaunchAtLogin::isEnabled());
        QFile::remove(folder);
    }

    void execArgumentsAreQuotedForTheKeyFile()
    {
        QCOMPARE(DesktopEntry::execArgument("/usr/bin/kestrowan"), QString("/usr/bin/kestrowan"));
        QCOMPARE(DesktopEntry::execArgument("/a b/$x\"y%"), QString("\"/a b/\\\\$x\\\\\"y%%\""));
    }

    void theRealXdgOpenHandsOurLinksToTheInstalledEntry()
    {
        const QString xdgOpen = QStandardPaths::findExecutable("xdg-open");
        if (xdgOpen.isEmpty())
            QSKIP("xdg-open is not installed (scripts/setup.sh installs it)");
        // The program's place taken by a stand-in that writes down what it was started with.
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString program = bin.filePath("kestrowan");
        const QString record = bin.filePath("argv.txt");
        writeBytes(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record.toUtf8() + ".part'\nmv '" + record.toUtf8()
                                + ".part' '" + record.toUtf8() + "'\n");
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner));
        installDesktopIntegration(program);

        QVERIFY(runXdgOpen(xdgOpen, "kestrowan://open/settings"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 30000);
        QCOMPARE(readBytes(record), QByteArray("kestrowan://open/settings\n"));
        QVERIFY(QFile::remove(record));

        // A link file is typed by the user's MIME database, which the program has built from its
        // definition; xdg-open then hands the file's path to the same entry.
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QTRY_VERIFY_WITH_TIMEOUT(readBytes(data + "/mime/globs2").contains("application/x-kestrowanlink")
                                     && readBytes(data + "/mime/globs").contains("application/x-kestrowanlink"),
                                 60000);
        const QString link = bin.filePath("Work apps.kestrowanlink");
        writeBytes(link, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n"
                         "<key>URL</key><string>kestrowan://open/settings</string>\n</dict>\n</plist>\n");
        QVERIFY(runXdgOpen(xdgOpen, link));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 30000);
        QCOMPARE(readBytes(record), link.toUtf8() + "\n");
        // The desktops that read the applications folder's cache find the entry there too.
        QTRY_VERIFY_WITH_TIMEOUT(readBytes(data + "/applications/mimeinfo.cache").contains("application/x-kestrowanlink=kestrowan.desktop;"),
                                 60000);
    }

    void theDesktopRoutesLinksHere()
    {
        const QString entry = kestrowanDesktopEntry("/opt/k/Kestrowan");
        QVERIFY(entry.contains("Exec=/opt/k/Kestrowan %U\n"));
        QVERIFY(kestrowanDesktopEntry("/opt/my apps/Kestrowan").contains("Exec=\"/opt/my apps/Kestrowan\" %U\n"));
        QVERIFY(entry.contains("MimeType=x-scheme-handler/kestrowan;application/x-kestrowanlink;\n"));

        QCOMPARE(withKestrowanDefaults(QByteArray()),
                 QByteArray("[Default Applications]\nx-scheme-handler/kestrowan=kestrowan.desktop;\n"
                         "application/x-kestrowanlink=kestrowan.desktop;\n"));
        const QByteArray existing = "[Added Associations]\ntext/plain=vim.desktop;\n\n[Default Applications]\n"
                                 "x-scheme-handler/kestrowan=other.desktop;\ntext/html=firefox.desktop;\n";
        const QByteArray merged = withKestrowanDefaults(existing);
        QVERIFY(merged.contains("text/plain=vim.desktop;"));
        QVERIFY(merged.contains("text/html=firefox.desktop;"));
        QVERIFY(!merged.contains("other.desktop"));
        QCOMPARE(merged.count("x-scheme-handler/kestrowan="), 1);
        QCOMPARE(withKestrowanDefaults(merged), merged);

        installDesktopIntegration("/opt/k/Kestrowan");
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QVERIFY(QFile::exists(data + "/applications/kestrowan.desktop"));
        QVERIFY(QFile::exists(data + "/mime/packages/kestrowan.xml"));
        QVERIFY(QFile::exists(data + "/icons/hicolor/scalable/apps/kestrowan.svg"));
        const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QVERIFY(readBytes(config + "/mimeapps.list").contains("x-scheme-handler/kestrowan=kestrowan.desktop;"));
    }

    // A FIFO someone left among the user's desktop entries holds the desktop's cache tool for ever:
    // the run is this program's own child, ended at its deadline or with the program, and never
    // holds the streams of whoever started the program.
    void aCacheToolHeldByAFifoIsOursToEnd()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty())
            QSKIP("update-desktop-database is not installed (scripts/setup.sh installs it)");
        const QString applications = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/applications";
        QVERIFY(QDir().mkpath(applications));
        QFile::remove(applications + "/mimeinfo.cache");
        const QByteArray fifo = QFile::encodeName(applications + "/held.desktop");
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
        installDesktopIntegration("/opt/k/Kestrowan/held");
        QPointer<QProcess> tool;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            for (QProcess *process : QCoreApplication::instance()->findChildren<QProcess *>()) {
                if (process->program().endsWith("update-desktop-database") && process->state() == QProcess::Running)
                    tool = process;
            }
            return !tool.isNull();
        }(), 10000);
        // It is still ours to end; the deadline or the program's end would do it.
        tool->kill();
        QTRY_VERIFY_WITH_TIMEOUT(tool.isNull() || tool->state() == QProcess::NotRunning, 10000);
        QFile::remove(QFile::decodeName(fifo));
    }

    void theDesktopsDarkPreference()
    {
        QVERIFY(GtkSystemAppearance::settingsPreferDark("[Settings]\ngtk-application-prefer-dark-theme=1\n"));
        QVERIFY(GtkSystemAppearance::settingsPreferDark("[Settings]\ngtk-theme-name=Adwaita-dark\n"));
        QVERIFY(!GtkSystemAppearance::settingsPreferDark("[Settings]\ngtk-theme-name=Adwaita\n"));
        QVERIFY(!GtkSystemAppearance::settingsPreferDark("[Other]\ngtk-application-prefer-dark-theme=true\n"));
        QVERIFY(!GtkSystemAppearance::settingsPreferDark(QByteArray("\xff\xfe\x00garbage", 10)));
        QVERIFY(GtkSystemAppearance::themeNameIsDark("Adwaita:dark"));
        QVERIFY(!GtkSystemAppearance::themeNameIsDark("Darkish"));
    }
};

KESTROWAN_TEST_MAIN(TestShellParts)
#include "tst_shellparts.moc"
