#include "Platform/PropertyList.h"
#include "Platform/linux/DesktopApplicationBundles.h"
#include "Platform/linux/DesktopDisplayNames.h"
#include "Platform/linux/DesktopEntry.h"
#include "Platform/linux/DesktopWorkspace.h"
#include "Platform/linux/MimeTypeIdentifiers.h"
#include "Platform/linux/UsKeyCharacters.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QTemporaryDir>

class DesktopWorkspaceTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_userApps;
    QString m_systemApps;

    static void write(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }

    static QByteArray entry(const QByteArray &name, const QByteArray &mimeTypes)
    {
        return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + name.toLower() + " %F\nMimeType=" + mimeTypes + "\n";
    }

private slots:
    void initTestCase()
    {
        // Only the test's own folders are consulted, never the machine's.
        m_userApps = qEnvironmentVariable("XDG_DATA_HOME") + "/applications";
        m_systemApps = m_root.path() + "/system/applications";
        qputenv("XDG_DATA_DIRS", (m_root.path() + "/system").toUtf8());
        // The MIME database itself is the machine's.
        QDir().mkpath(m_root.path() + "/system");
        QVERIFY(QFile::link("/usr/share/mime", m_root.path() + "/system/mime"));
        qputenv("XDG_CONFIG_DIRS", (m_root.path() + "/etc").toUtf8());
        QLocale::setDefault(QLocale(QStringLiteral("pt_BR")));

        write(m_userApps + "/viewer.desktop", entry("Viewer", "application/pdf;image/png;"));
        write(m_userApps + "/editor.desktop", entry("Editor", "text/plain;"));
        write(m_userApps + "/hidden.desktop", "[Desktop Entry]\nType=Application\nName=Hidden\nHidden=true\nMimeType=text/markdown;\n");
        write(m_systemApps + "/browser.desktop", entry("Browser", "x-scheme-handler/https;text/html;"));
        write(m_systemApps + "/reader.desktop", entry("Reader", "application/pdf;"));
        write(m_systemApps + "/painter.desktop", entry("Painter", "image/png;"));
        write(qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list",
              "[Default Applications]\napplication/pdf=missing.desktop;reader.desktop;\n"
              "[Removed Associations]\nimage/png=viewer.desktop;\n");
        write(m_root.path() + "/etc/mimeapps.list", "[Default Applications]\napplication/pdf=viewer.desktop\n");

        // The desktop's icon theme, as GTK settings name it, keeps one icon in a legacy folder and
        // inherits "hicolor"; a loose picture lies in the pixmap folder.
        const QString icons = m_root.path() + "/system/icons";
        write(icons + "/Quillwork/index.theme", "[Icon Theme]\nName=Quillwork\nInherits=hicolor\nDirectories=48x48/legacy\n\n"
                                                "[48x48/legacy]\nContext=Legacy\nSize=48\nType=Fixed\n");
        writePicture(icons + "/Quillwork/48x48/legacy/quill-tool.png", Qt::red);
        write(icons + "/hicolor/index.theme", "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n\n"
                                              "[32x32/apps]\nContext=Applications\nSize=32\nType=Fixed\n");
        writePicture(icons + "/hicolor/32x32/apps/hico-tool.png", Qt::green);
        writePicture(m_root.path() + "/system/pixmaps/loose-tool.png", Qt::blue);
        writePicture(m_root.path() + "/own.png", Qt::yellow);
        write(qEnvironmentVariable("XDG_CONFIG_HOME") + "/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Quillwork\n");
    }

    static void writePicture(const QString &path, const QColor &colour)
    {
        QDir().mkpath(QFileInfo(path).path());
        QImage picture(48, 48, QImage::Format_ARGB32);
        picture.fill(colour);
        if (!picture.save(path))
            qFatal("cannot write %s", qPrintable(path));
    }

    static QColor middleOf(const QIcon &icon)
    {
        const QImage picture = icon.pixmap(QSize(32, 32)).toImage();
        return picture.pixelColor(picture.width() / 2, picture.height() / 2);
    }

    void desktopEntries()
    {
        const auto parsed = DesktopEntry::parse("# comment\n[Desktop Entry]\nName=Files\nName[pt_BR]=Arquivos\nName[pt]=Ficheiros\n"
                                                "Comment=a\\sb\\\\c\nName=Second\n[Desktop Action new]\nName=New\n");
        QVERIFY(parsed);
        QCOMPARE(parsed->value("Name"), QStringLiteral("Files"));
        QCOMPARE(parsed->localizedValue("Name"), QStringLiteral("Arquivos"));
        QCOMPARE(parsed->value("Comment"), QStringLiteral("a b\\c"));
        QVERIFY(!DesktopEntry::parse("Name=No group\n"));
        QVERIFY(!DesktopEntry::parse("[Desktop Entry]\nName=\xff\xfe\n"));
        QCOMPARE(DesktopEntry::fileIdentifier("/usr/share/applications/kde/org.kde.Foo.desktop"), QStringLiteral("kde-org.kde.Foo"));
        QCOMPARE(DesktopEntry::fileIdentifier("/home/u/Desktop/tool.desktop"), QStringLiteral("tool"));
    }

    void defaultApplications()
    {
        const DesktopWorkspace workspace;
        // The user's list wins over the system's; a missing entry is passed over.
        QCOMPARE(workspace.applicationForContentType("com.adobe.pdf"), std::optional(m_systemApps + "/reader.desktop"));
        // A C source opens with what opens its parent type, plain text.
        QCOMPARE(workspace.applicationForContentType("text/x-csrc"), std::optional(m_userApps + "/editor.desktop"));
        // A removed association is skipped; a hidden entry does not count.
        QCOMPARE(workspace.applicationForContentType("public.png"), std::optional(m_systemApps + "/painter.desktop"));
        // Markdown is text: without an application of its own, the text editor opens it.
        QCOMPARE(workspace.applicationForContentType("net.daringfireball.markdown"), std::optional(m_userApps + "/editor.desktop"));
        QCOMPARE(workspace.applicationForContentType("public.zip-archive"), std::nullopt);
        QCOMPARE(workspace.applicationToOpenURL(QUrl("https://example.com/")), std::optional(m_systemApps + "/browser.desktop"));
        QCOMPARE(workspace.applicationToOpenURL(QUrl::fromLocalFile("/tmp/kestrowan_probe.pdf")), std::optional(m_systemApps + "/reader.desktop"));
        QCOMPARE(workspace.applicationToOpenURL(QUrl::fromLocalFile("/tmp/kestrowan_probe.qqzzx")), std::nullopt);
        QVERIFY(!workspace.iconForFile("/nowhere/x.pdf").isNull());
        QVERIFY(!workspace.iconForContentType("public.url").isNull());
    }

    // The answers are kept between calls; a changed list or a newly installed entry is seen again.
    void changedListsAndEntriesAreReadAgain()
    {
        const DesktopWorkspace workspace;
        QCOMPARE(workspace.applicationForContentType("com.adobe.pdf"), std::optional(m_systemApps + "/reader.desktop"));
        QCOMPARE(workspace.applicationForContentType("public.zip-archive"), std::nullopt);
        const QString userList = qEnvironmentVariable("XDG_CONFIG_HOME") + "/mimeapps.list";
        const QByteArray before = [&userList] {
            QFile file(userList);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        write(userList, "[Default Applications]\napplication/pdf=viewer.desktop;\n[Removed Associations]\nimage/png=viewer.desktop;\n");
        QTRY_COMPARE_WITH_TIMEOUT(workspace.applicationForContentType("com.adobe.pdf"), std::optional(m_userApps + "/viewer.desktop"), 10000);
        write(m_userApps + "/zipper.desktop", entry("Zipper", "application/zip;"));
        QTRY_COMPARE_WITH_TIMEOUT(workspace.applicationForContentType("public.zip-archive"), std::optional(m_userApps + "/zipper.desktop"), 10000);
        QVERIFY(QFile::remove(m_userApps + "/zipper.desktop"));
        write(userList, before);
        QTRY_COMPARE_WITH_TIMEOUT(workspace.applicationForContentType("public.zip-archive"), std::nullopt, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(workspace.applicationForContentType("com.adobe.pdf"), std::optional(m_systemApps + "/reader.desktop"), 10000);
    }

    // An application's icon: its entry's "Icon=" through the desktop's theme, the theme it inherits,
    // the pixmap folder, or an absolute path; with none of those, and for an application that is
    // gone, the one generic application symbol, never the document icon.
    void applicationIcons()
    {
        const DesktopWorkspace workspace;
        const auto entryWithIcon = [this](const QByteArray &name, const QByteArray &icon) {
            const QString path = m_userApps + "/" + QString::fromLatin1(name) + ".desktop";
            write(path, "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + name + "\n" + icon);
            return path;
        };
        // Their pictures are decoded out of the program and drawn once they are in.
        const QString quill = entryWithIcon("quill", "Icon=quill-tool\n");
        const QString hico = entryWithIcon("hico", "Icon=hico-tool\n");
        const QString loose = entryWithIcon("loose", "Icon=loose-tool.png\n");
        const QString own = entryWithIcon("own", "Icon=" + m_root.path().toUtf8() + "/own.png\n");
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(workspace.iconForFile(quill)), QColor(Qt::red), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(workspace.iconForFile(hico)), QColor(Qt::green), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(workspace.iconForFile(loose)), QColor(Qt::blue), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(middleOf(workspace.iconForFile(own)), QColor(Qt::yellow), 60000);

        // Entries are read beside the main thread: each icon is the generic symbol once its entry is in.
        const QString plainEntry = entryWithIcon("plain", "");
        const QString unknownEntry = entryWithIcon("unknown", "Icon=no-such-icon-anywhere\n");
        const auto keyOf = [&workspace](const QString &path) { return workspace.iconForFile(path).cacheKey(); };
        QTRY_COMPARE_WITH_TIMEOUT(keyOf(plainEntry), keyOf("/nowhere/Gone.desktop"), 60000);
        const QIcon plain = workspace.iconForFile(plainEntry);
        QVERIFY(!plain.isNull());
        QTRY_COMPARE_WITH_TIMEOUT(keyOf(unknownEntry), plain.cacheKey(), 60000);
        QCOMPARE(keyOf("/nowhere/Gone.app"), plain.cacheKey());
        const QImage symbol = plain.pixmap(QSize(32, 32)).toImage();
        const QImage document = workspace.iconForFile("/nowhere/x.pdf").pixmap(QSize(32, 32)).toImage();
        QVERIFY(symbol != document);
        QVERIFY(symbol.pixelColor(16, 16).alpha() > 200);
        // A view of a hundred such applications draws the symbol once per size, not once per cell.
        QCOMPARE(workspace.iconForFile(unknownEntry).pixmap(QSize(32, 32)).cacheKey(), plain.pixmap(QSize(32, 32)).cacheKey());
        QCOMPARE(plain.pixmap(QSize(48, 48)).size(), QSize(48, 48));
        QVERIFY(plain.pixmap(QSize(48, 48)).cacheKey() != plain.pixmap(QSize(32, 32)).cacheKey());
    }

    void typeIdentifiers()
    {
        const MimeTypeIdentifiers types;
        QCOMPARE(types.typeForFilenameExtension("PDF"), std::optional<QString>("com.adobe.pdf"));
        QCOMPARE(types.typeForFilenameExtension("c"), std::optional<QString>("text/x-csrc"));
        QCOMPARE(types.typeForFilenameExtension(""), std::nullopt);
        QCOMPARE(types.typeForFilenameExtension("qqzzx"), std::nullopt);
    }

    void applicationBundles()
    {
        const DesktopApplicationBundles info;
        const QString mail = m_root.path() + "/Apps/Mail.app";
        write(mail + "/Contents/Info.plist",
              PropertyList::toBinary(QVariantMap{{"CFBundleIdentifier", "com.example.mail"}, {"CFBundleDisplayName", "Mail"}}));
        const auto bundle = info.bundleAt(mail);
        QVERIFY(bundle);
        QCOMPARE(bundle->bundleIdentifier, std::optional<QString>("com.example.mail"));
        QCOMPARE(bundle->informationValue("CFBundleDisplayName").toString(), QStringLiteral("Mail"));

        const QString bare = m_root.path() + "/Apps/Bare.app";
        write(bare + "/Contents/Info.plist", QByteArray(2 * 1024 * 1024, '<'));
        const auto bareBundle = info.bundleAt(bare);
        QVERIFY(bareBundle && !bareBundle->bundleIdentifier && bareBundle->information.isEmpty());
        QVERIFY(!info.bundleAt(m_root.path() + "/Apps/Missing.app"));

        const auto desktop = info.bundleAt(m_userApps + "/viewer.desktop");
        QVERIFY(desktop);
        QCOMPARE(desktop->bundleIdentifier, std::optional<QString>("viewer"));
        QCOMPARE(desktop->informationValue("CFBundleName").toString(), QStringLiteral("Viewer"));
        write(m_root.path() + "/broken.desktop", "not an entry");
        QVERIFY(!info.bundleAt(m_root.path() + "/broken.desktop"));
        QVERIFY(ApplicationBundles::isApplicationPath("/x/Y.DESKTOP") && ApplicationBundles::isApplicationPath("/x/Y.App"));
        QVERIFY(!ApplicationBundles::isApplicationPath("/x/Y.apps"));
    }

    void displayNames()
    {
        const DesktopDisplayNames names;
        QCOMPARE(names.displayNameAtPath(m_userApps + "/editor.desktop"), QStringLiteral("Editor"));
        QCOMPARE(names.displayNameAtPath(m_root.path() + "/Apps/Mail.app/"), QStringLiteral("Mail"));
        QCOMPARE(names.displayNameAtPath(m_root.path() + "/broken.desktop"), QStringLiteral("broken.desktop"));
        QCOMPARE(names.displayNameAtPath("/nowhere/Report.pdf"), QStringLiteral("Report.pdf"));
    }

    void keyCharacters()
    {
        const UsKeyCharacters keys;
        QCOMPARE(keys.charactersIgnoringModifiers(24), std::optional<QString>("="));
        QCOMPARE(keys.charactersIgnoringModifiers(96), std::nullopt); // a function key types nothing
    }
};

KESTROWAN_TEST_MAIN(DesktopWorkspaceTest)
#include "tst_desktopworkspace.moc"
