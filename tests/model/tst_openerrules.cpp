#include "Kestrowan/groups/AppGroup.h"
#include "Platform/fake/FakeDisplayNames.h"
#include "Platform/fake/FakeTypeIdentifiers.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>

namespace {

const QUuid itemID = QUuid::fromString(QStringLiteral("0E6B2B4A-1C3D-4E5F-8A9B-0C1D2E3F4A5B"));
const QString none = QStringLiteral("<none>");

std::optional<QString> optionalText(const QString &text)
{
    return text == none ? std::nullopt : std::optional<QString>(text);
}

} // namespace

class OpenerRulesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeTypeIdentifiers *m_types = nullptr;
    FakeWorkspace *m_workspace = nullptr;
    FakeDisplayNames *m_names = nullptr;

private slots:
    void init()
    {
        auto types = std::make_unique<FakeTypeIdentifiers>();
        auto workspace = std::make_unique<FakeWorkspace>();
        auto names = std::make_unique<FakeDisplayNames>();
        m_types = types.get();
        m_workspace = workspace.get();
        m_names = names.get();
        TypeIdentifiers::install(std::move(types));
        Workspace::install(std::move(workspace));
        DisplayNames::install(std::move(names));
    }

    void precedence_data()
    {
        QTest::addColumn<QString>("rules");      // JSON of the rules, or <none>
        QTest::addColumn<QString>("custom");     // customOpenerPath, or <none>
        QTest::addColumn<QString>("path");       // the item's path; "FOLDER" is an existing directory
        QTest::addColumn<QString>("expected");   // the opener's path, or <none>

        const QString itemKey = itemID.toString(QUuid::WithoutBraces).toUpper();
        auto rules = [](const QString &byExtension, const QString &byItem, const QString &defaultOpener = {}) {
            return QStringLiteral("{\"byExtension\":{%1},\"byItem\":{%2}%3}")
                .arg(byExtension, byItem, defaultOpener.isNull() ? QString() : ",\"defaultOpener\":\"" + defaultOpener + "\"");
        };
        const QString itemRule = "\"" + itemKey + "\":\"/apps/Item.app\"";
        const QString emptyItemRule = "\"" + itemKey + "\":\"\"";

        QTest::newRow("custom opener for a document") << none << "/apps/Custom.app" << "/docs/a.txt" << "/apps/Custom.app";
        QTest::newRow("custom opener for a folder") << none << "/apps/Custom.app" << "FOLDER" << "/apps/Custom.app";
        QTest::newRow("custom opener for a link") << none << "/apps/Custom.app" << "https://x.org/" << "/apps/Custom.app";
        QTest::newRow("no custom opener for an app") << none << "/apps/Custom.app" << "/apps/Tool.app" << none;
        QTest::newRow("empty custom opener") << none << "" << "/docs/a.txt" << none;
        QTest::newRow("empty rules fall to custom") << rules("", "") << "/apps/Custom.app" << "/docs/a.txt" << "/apps/Custom.app";
        QTest::newRow("empty default opener silences custom") << rules("", "", "") << "/apps/Custom.app" << "/docs/a.txt" << none;
        QTest::newRow("other extension silences custom") << rules("\"pdf\":\"/apps/Pdf.app\"", "") << "/apps/Custom.app" << "/docs/a.txt" << none;
        QTest::newRow("item rule first") << rules("\"txt\":\"/apps/Text.app\"", itemRule, "/apps/Default.app") << none << "/docs/a.txt" << "/apps/Item.app";
        QTest::newRow("item rule even for an app") << rules("", itemRule) << none << "/apps/Tool.app" << "/apps/Item.app";
        QTest::newRow("empty item rule falls to extension") << rules("\"txt\":\"/apps/Text.app\"", emptyItemRule, "/apps/Default.app") << none << "/docs/a.txt" << "/apps/Text.app";
        QTest::newRow("empty extension rule falls to default") << rules("\"txt\":\"\"", emptyItemRule, "/apps/Default.app") << none << "/docs/a.txt" << "/apps/Default.app";
        QTest::newRow("all empty gives none") << rules("\"txt\":\"\"", emptyItemRule, "") << "/apps/Custom.app" << "/docs/a.txt" << none;
        QTest::newRow("upper-case extension matches") << rules("\"pdf\":\"/apps/Pdf.app\"", "") << none << "/docs/REPORT.PDF" << "/apps/Pdf.app";
        QTest::newRow("upper-case rule key never matches") << rules("\"PDF\":\"/apps/Pdf.app\"", "", "/apps/Default.app") << none << "/docs/REPORT.PDF" << "/apps/Default.app";
        QTest::newRow("lower-case item key never matches") << rules("", "\"" + itemKey.toLower() + "\":\"/apps/Item.app\"") << none << "/docs/a.txt" << none;
        QTest::newRow("link looked up by extension") << rules("\"pdf\":\"/apps/Pdf.app\"", "") << none << "https://x.org/paper.pdf" << "/apps/Pdf.app";
        QTest::newRow("no extension goes to default") << rules("\"pdf\":\"/apps/Pdf.app\"", "", "/apps/Default.app") << none << "/docs/Makefile" << "/apps/Default.app";
        QTest::newRow("default opener for an app") << rules("", "", "/apps/Default.app") << none << "/apps/Tool.app" << "/apps/Default.app";
    }

    void precedence()
    {
        QFETCH(QString, rules);
        QFETCH(QString, custom);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        if (path == QLatin1String("FOLDER"))
            path = m_dir.path();
        AppGroup group{QUuid::createUuid(), "G", {}, AppGroup::DisplayStyle::Grid, AppGroup::IconStyle::Shelf, {}, optionalText(custom), {}};
        if (rules != none) {
            group.openerRules = OpenerRules::fromJson(QJsonDocument::fromJson(rules.toUtf8()).object());
            QVERIFY(group.openerRules);
        }
        const AppItem item{itemID, "b", "n", path};
        const std::optional<QUrl> opener = group.resolveOpenerURL(item);
        QCOMPARE(opener ? opener->toLocalFile() : none, expected);
    }

    void rulesEmptiness()
    {
        OpenerRules rules;
        QVERIFY(rules.isEmpty());
        rules.defaultOpener = QString();
        QVERIFY(!rules.isEmpty());
        OpenerRules other;
        QVERIFY(!(rules == other));
        QVERIFY(qHash(rules) != qHash(other));
        other.defaultOpener = QString();
        QCOMPARE(qHash(rules), qHash(other));
    }

    void emptyExtensionAsksNothing()
    {
        QVERIFY(!defaultApplicationForExtension(QString()));
        QVERIFY(m_types->asked.isEmpty());
        QVERIFY(m_workspace->asked.isEmpty());
    }

    void applicationForTheTypeComesFirst()
    {
        m_types->types.insert("PDF", "com.adobe.pdf");
        m_workspace->applicationsForTypes.insert("com.adobe.pdf", "/apps/Preview.app");
        m_workspace->applicationsForURLs.insert(QUrl::fromLocalFile("/tmp/kestrowan_probe.PDF"), "/apps/Other.app");
        m_names->names.insert("/apps/Preview.app", "Preview");
        const auto application = defaultApplicationForExtension("PDF");
        QVERIFY(application);
        QCOMPARE(application->displayName, QStringLiteral("Preview"));
        QCOMPARE(application->path, QStringLiteral("/apps/Preview.app"));
        QCOMPARE(m_types->asked, QStringList{"PDF"}); // used unchanged
        QCOMPARE(m_workspace->asked, QStringList{"type:com.adobe.pdf"});
    }

    void probeFileAnswersWhenTheTypeDoesNot()
    {
        m_types->types.insert("md", "net.daringfireball.markdown");
        m_workspace->applicationsForURLs.insert(QUrl::fromLocalFile("/tmp/kestrowan_probe.md"), "/apps/Writer.desktop");
        const auto application = defaultApplicationForExtension("md");
        QVERIFY(application);
        QCOMPARE(application->displayName, QStringLiteral("Writer.desktop"));
        QCOMPARE(m_workspace->asked, (QStringList{"type:net.daringfireball.markdown", "url:file:///tmp/kestrowan_probe.md"}));
        QVERIFY(!QFileInfo::exists("/tmp/kestrowan_probe.md"));

        m_workspace->asked.clear();
        QVERIFY(!defaultApplicationForExtension("zzz"));
        QCOMPARE(m_workspace->asked, QStringList{"url:file:///tmp/kestrowan_probe.zzz"});
    }

    void extensionsOfAGroup()
    {
        const QString folder = m_dir.path() + "/Kit.bundle";
        QVERIFY(QDir().mkpath(folder));
        auto item = [](const QString &path) { return AppItem{QUuid::createUuid(), "b", "n", path}; };
        AppGroup group{QUuid::createUuid(), "G",
                       {item("/d/Report.PDF"), item("/d/notes.pdf"), item(folder), item("/Applications/Viewer.app"),
                        item("https://x.org/archive.zip"), item("/d/Makefile"), item("/d/a.b.TXT"), item("/d/x.7z"),
                        item("/d/trailing.")},
                       AppGroup::DisplayStyle::Grid, AppGroup::IconStyle::Shelf, {}, {}, {}};
        QCOMPARE(fileExtensionsOfGroup(group), (QStringList{"7z", "bundle", "pdf", "txt"}));
        group.apps = {item("https://a.org/x.pdf"), item("/Applications/Y.app")};
        QVERIFY(fileExtensionsOfGroup(group).isEmpty());
    }
};

KESTROWAN_TEST_MAIN(OpenerRulesTest)
#include "tst_openerrules.moc"
