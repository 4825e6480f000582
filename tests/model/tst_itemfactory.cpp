#include "Kestrowan/groups/ItemFactory.h"
#include "Platform/PropertyList.h"
#include "Platform/fake/FakeApplicationBundles.h"
#include "Platform/fake/FakeDisplayNames.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestMain.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

class ItemFactoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeDisplayNames *m_names = nullptr;
    FakeApplicationBundles *m_applications = nullptr;

    QString path(const QString &name) const { return m_dir.path() + u'/' + name; }

    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write fixture %s", qPrintable(name));
        return file.fileName();
    }

    QString link(const QString &name, const QString &target) const
    {
        if (!QFile::link(target, path(name)))
            qFatal("cannot link fixture %s", qPrintable(name));
        return path(name);
    }

    static QByteArray webLocation(const QString &url, bool binary)
    {
        const QVariantMap root{{"URL", url}};
        return binary ? PropertyList::toBinary(root) : PropertyList::toXml(root);
    }

    ResolvedShortcut resolve(const QString &file, const std::optional<QString> &name = std::nullopt) const
    {
        return resolveAddedURL(QUrl::fromLocalFile(file), name);
    }

private slots:
    void initTestCase()
    {
        auto names = std::make_unique<FakeDisplayNames>();
        auto applications = std::make_unique<FakeApplicationBundles>();
        m_names = names.get();
        m_applications = applications.get();
        DisplayNames::install(std::move(names));
        ApplicationBundles::install(std::move(applications));
    }

    void webLocationFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("binary");
        QTest::newRow("xml webloc") << "Example Page.webloc" << false;
        QTest::newRow("binary webloc") << "Example Page.webloc" << true;
        QTest::newRow("mixed-case inetloc") << "Example Page.InetLoc" << true;
    }

    void webLocationFiles()
    {
        QFETCH(QString, file);
        QFETCH(bool, binary);
        const QString location = write(file, webLocation("https://example.com/page?q=1", binary));
        const ResolvedShortcut resolved = resolve(location);
        QCOMPARE(resolved.url, QUrl("https://example.com/page?q=1"));
        QCOMPARE(resolved.preferredName, std::optional<QString>("Example Page"));
        const std::optional<AppItem> item = makeWebItem(resolved.url, resolved.preferredName);
        QVERIFY(item);
        QCOMPARE(item->name, QStringLiteral("Example Page"));
        QCOMPARE(item->bundleIdentifier, QStringLiteral("url:https://example.com/page?q=1"));
        QCOMPARE(item->path, QStringLiteral("https://example.com/page?q=1"));
        QFile::remove(location);
    }

    void internetShortcutFiles()
    {
        const QString upper = write("News.URL", "[InternetShortcut]\r\nIconIndex=0\r\n  URL=https://news.example.org/Path  \r\nurl=https://later.example\r\n");
        QCOMPARE(resolve(upper).url, QUrl("https://news.example.org/Path"));
        QCOMPARE(resolve(upper).preferredName, std::optional<QString>("News"));

        // The first key line decides, even when its value gives nothing.
        const QString empty = write("Empty.url", "[InternetShortcut]\nURL=   \nURL=https://valid.example\n");
        QCOMPARE(resolve(empty).url, QUrl::fromLocalFile(empty));
        QCOMPARE(resolve(empty).preferredName, std::nullopt);

        const QString none = write("None.url", "[InternetShortcut]\nIconFile=x\n");
        QCOMPARE(resolve(none).url, QUrl::fromLocalFile(none));
    }

    void shortcutToAPathContinuesTheWalk()
    {
        const QString inner = write("Inner.url", "[InternetShortcut]\nURL=https://inner.example/\n");
        const QString outer = write("Outer.webloc", webLocation(inner, false));
        const ResolvedShortcut resolved = resolve(outer);
        QCOMPARE(resolved.url, QUrl("https://inner.example/"));
        QCOMPARE(resolved.preferredName, std::optional<QString>("Outer"));
    }

    void callerNameSurvivesAndBlankNameIsNone()
    {
        const QString location = write("Named.webloc", webLocation("https://n.example/", true));
        QCOMPARE(resolve(location, "  My Title \n").preferredName, std::optional<QString>("My Title"));
        QCOMPARE(resolve(location, " \t ").preferredName, std::optional<QString>("Named"));
        const QString plain = write("plain.txt", "text");
        QCOMPARE(resolve(plain, "   ").preferredName, std::nullopt);
        QCOMPARE(resolve(plain).url, QUrl::fromLocalFile(plain));
        QCOMPARE(resolveAddedURL(QUrl("https://web.example/")).url, QUrl("https://web.example/"));
    }

    void symbolicLinkChain()
    {
        const QString target = write("target.txt", "x");
        link("chain-2", target);
        const QString start = link("chain-1", path("chain-2"));
        m_names->names.insert(start, "  Shared Link \n");
        const ResolvedShortcut resolved = resolve(path("./sub/../chain-1"));
        QCOMPARE(resolved.url, QUrl::fromLocalFile(target));
        QCOMPARE(resolved.preferredName, std::optional<QString>("Shared Link"));

        // A link to a shortcut file is followed into it.
        const QString location = write("Linked.webloc", webLocation("https://linked.example/", false));
        QCOMPARE(resolve(link("to-webloc", location)).url, QUrl("https://linked.example/"));
    }

    void cycleStopsAtThePathSeenTwice()
    {
        link("loop-a", path("loop-b"));
        link("loop-b", path("loop-a"));
        const ResolvedShortcut resolved = resolve(path("loop-a"));
        QCOMPARE(resolved.url, QUrl::fromLocalFile(path("loop-a")));
        QCOMPARE(resolved.preferredName, std::optional<QString>("loop-a"));
    }

    void hopLimit()
    {
        // hop-1 -> hop-2 -> ... -> hop-7 -> end.txt: six hops reach hop-7, which is not examined.
        write("end.txt", "x");
        link("hop-7", path("end.txt"));
        for (int i = 6; i >= 1; --i)
            link(QStringLiteral("hop-%1").arg(i), path(QStringLiteral("hop-%1").arg(i + 1)));
        QCOMPARE(resolve(path("hop-1")).url, QUrl::fromLocalFile(path("hop-7")));
        QCOMPARE(resolve(path("hop-2")).url, QUrl::fromLocalFile(path("end.txt")));
    }

    void hostileShortcutFilesAreRefused()
    {
        QByteArray huge = "[InternetShortcut]\nURL=https://huge.example/\n";
        huge.append(QByteArray(1024 * 1024, ' '));
        const QString big = write("Huge.url", huge);
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("Ignoring shortcut file .*Huge\\.url: larger than"));
        QCOMPARE(resolve(big).url, QUrl::fromLocalFile(big));

        const QString binary = write("Garbage.url", QByteArray("URL=https://g.example/\n\xff\xfe\x00\x01", 27));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("Ignoring shortcut file .*Garbage\\.url: not UTF-8"));
        QCOMPARE(resolve(binary).url, QUrl::fromLocalFile(binary));

        const QString noise = write("Noise.webloc", QByteArray("bplist00\x01\x02\x03garbage", 18));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("Ignoring shortcut file .*Noise\\.webloc: not a property-list"));
        QCOMPARE(resolve(noise).url, QUrl::fromLocalFile(noise));

        const QString list = write("List.webloc", PropertyList::toXml(QVariantList{"https://x.example"}));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("List\\.webloc: not a property-list dictionary"));
        QCOMPARE(resolve(list).url, QUrl::fromLocalFile(list));

        // A few dozen bytes whose URL holds U+0000 once aborted the whole program inside libplist.
        // The binary form is a valid list, read whole; a URL holding U+0000 is no URL, so the file
        // itself is the item. XML holds no NUL at all.
        const QString nulBinary = write("NulBinary.webloc", HostileFiles::nulInUtf16String());
        QCOMPARE(resolve(nulBinary).url, QUrl::fromLocalFile(nulBinary));
        const QString nul = write("Nul.webloc", HostileFiles::nulInXmlString());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Refused a .* property list of \\d+ bytes: .*NUL byte"));
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression("Nul\\.webloc: not a property-list dictionary"));
        QCOMPARE(resolve(nul).url, QUrl::fromLocalFile(nul));

        const QString numeric = write("Numeric.webloc", PropertyList::toBinary(QVariantMap{{"URL", 5}}));
        QCOMPARE(resolve(numeric).url, QUrl::fromLocalFile(numeric));
        QCOMPARE(resolve(path("missing.webloc")).url, QUrl::fromLocalFile(path("missing.webloc")));
    }

    void applicationItems()
    {
        ApplicationBundle full{"/Applications/Mail.app", QStringLiteral("com.apple.mail"),
                               {{"CFBundleDisplayName", "Mail"}, {"CFBundleName", "MailBundle"}}};
        ApplicationBundle anonymous{"/Applications/Tool.APP", std::nullopt, {{"CFBundleDisplayName", 3}, {"CFBundleName", "Tool Name"}}};
        ApplicationBundle bare{"/opt/Bare.app", std::nullopt, {}};
        ApplicationBundle entry{"/usr/share/applications/org.example.Edit.desktop", QStringLiteral("org.example.Edit"), {{"CFBundleName", "Edit"}}};
        for (const ApplicationBundle &bundle : {full, anonymous, bare, entry})
            m_applications->bundles.insert(bundle.path, bundle);

        AppItem mail = makeFileItem(QUrl::fromLocalFile("/Applications/./Mail.app"));
        QCOMPARE(mail.bundleIdentifier, QStringLiteral("com.apple.mail"));
        QCOMPARE(mail.name, QStringLiteral("Mail"));
        QCOMPARE(mail.path, QStringLiteral("/Applications/Mail.app"));
        QCOMPARE(makeFileItem(QUrl::fromLocalFile("/Applications/Mail.app"), "").name, QString());

        AppItem tool = makeFileItem(QUrl::fromLocalFile("/Applications/Tool.APP"));
        QCOMPARE(tool.bundleIdentifier, QStringLiteral("file:/Applications/Tool.APP"));
        QCOMPARE(tool.name, QStringLiteral("Tool Name"));
        QCOMPARE(makeFileItem(QUrl::fromLocalFile("/opt/Bare.app")).name, QStringLiteral("Bare"));
        QCOMPARE(makeFileItem(QUrl::fromLocalFile(entry.path)).bundleIdentifier, QStringLiteral("org.example.Edit"));
        QVERIFY(mail.id != makeFileItem(QUrl::fromLocalFile("/Applications/Mail.app")).id);

        // No bundle opens there: a plain file item.
        AppItem missing = makeFileItem(QUrl::fromLocalFile("/Applications/Gone.app"));
        QCOMPARE(missing.bundleIdentifier, QStringLiteral("file:/Applications/Gone.app"));
        QCOMPARE(missing.name, QStringLiteral("Gone.app"));
    }

    void fileItems()
    {
        m_names->names.insert("/docs/Report.pdf", "Quarterly Report");
        m_names->names.insert("/docs/blank.txt", "");
        AppItem report = makeFileItem(QUrl::fromLocalFile("/docs/sub/../Report.pdf"));
        QCOMPARE(report.bundleIdentifier, QStringLiteral("file:/docs/Report.pdf"));
        QCOMPARE(report.name, QStringLiteral("Quarterly Report"));
        QCOMPARE(report.path, QStringLiteral("/docs/Report.pdf"));
        QCOMPARE(makeFileItem(QUrl::fromLocalFile("/docs/blank.txt")).name, QStringLiteral("blank.txt"));
        QCOMPARE(makeFileItem(QUrl::fromLocalFile("/docs/Report.pdf"), "Mine").name, QStringLiteral("Mine"));
    }

    void webItems_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("name"); // the item's name, or empty when no item is made
        QTest::newRow("host") << "https://www.example.com/a/b" << "www.example.com";
        QTest::newRow("no host") << "mailto:someone@example.com" << "mailto:someone@example.com";
        QTest::newRow("javascript") << "javascript:alert(1)" << "";
        QTest::newRow("upper-case javascript") << "JavaScript:alert(1)" << "";
        QTest::newRow("data") << "DATA:text/plain,hi" << "";
        QTest::newRow("blob") << "blob:https://x.example/123" << "";
        QTest::newRow("about") << "About:blank" << "";
        QTest::newRow("file") << "file:///etc/hosts" << "";
        QTest::newRow("no scheme") << "www.example.com/page" << "";
    }

    void webItems()
    {
        QFETCH(QString, url);
        QFETCH(QString, name);
        const std::optional<AppItem> item = makeWebItem(QUrl(url));
        QCOMPARE(item.has_value(), !name.isEmpty());
        if (item)
            QCOMPARE(item->name, name);
    }

    void webItemKeepsAGivenEmptyName()
    {
        const std::optional<AppItem> item = makeWebItem(QUrl("https://x.example/a b"), QString(""));
        QVERIFY(item);
        QCOMPARE(item->name, QString());
        QCOMPARE(item->path, QStringLiteral("https://x.example/a%20b"));
        QCOMPARE(item->itemKind(), AppItem::Kind::Link);
    }
};

KESTROWAN_TEST_MAIN(ItemFactoryTest)
#include "tst_itemfactory.moc"
