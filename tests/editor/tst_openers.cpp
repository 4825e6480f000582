// Opener rules in the editor: the extensions offered, rules by extension and by item with their
// clearing, what a cell shows, the application chooser, and an opener chosen first in a new group.
#include "Kestrowan/editor/ApplicationChooserDialog.h"
#include "Kestrowan/shell/Appearance.h"
#include "NVLXDesign/NVLXList.h"
#include "NVLXDesign/NVLXTextField.h"
#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/OpenerRulesEditor.h"
#include "Kestrowan/editor/OpenerSection.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Platform/Workspace.h"
#include "Platform/fake/FakeApplicationCatalog.h"
#include "Platform/linux/DesktopApplicationCatalog.h"
#include "Platform/fake/FakeWorkspace.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>

namespace {

const QString kPreview = QStringLiteral("/usr/share/applications/org.example.Preview.desktop");
const QString kReader = QStringLiteral("/usr/share/applications/org.example.Reader.desktop");

// Answers every request at once with the path it was given.
struct ImmediateChooser {
    std::optional<QString> answer;
    QStringList asked;
    OpenerRulesEditor::ApplicationChooser function()
    {
        return [this](const QString &forWhat, const QString &, std::function<void(const std::optional<QString> &)> done) {
            asked.append(forWhat);
            done(answer);
        };
    }
};

} // namespace

class TestOpeners : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString folder(const QString &name)
    {
        QDir().mkpath(m_dir.filePath(name));
        return m_dir.filePath(name);
    }

private slots:
    void initTestCase()
    {
        useSourceResources();
        auto workspace = std::make_unique<FakeWorkspace>();
        workspace->applicationsForURLs.insert(QUrl::fromLocalFile(QStringLiteral("/tmp/kestrowan_probe.pdf")), kPreview);
        Workspace::install(std::move(workspace));
    }

    void extensionsAndVisibility()
    {
        EditorDraft draft(groupWith(QStringLiteral("G"), {itemAt(QStringLiteral("/Applications/Mail.app"))}));
        OpenerRulesEditor editor(&draft, {});
        OpenerSection section(&editor);
        QVERIFY(!editor.isSectionVisible());
        QVERIFY(section.isHidden());

        AppGroup files = draft.draft();
        files.apps += {itemAt(QStringLiteral("/d/A.PDF")), itemAt(QStringLiteral("/d/b.pdf")), itemAt(folder(QStringLiteral("Kit.bundle"))),
                       itemAt(QStringLiteral("https://example.com/x.html")), itemAt(QStringLiteral("/d/README"))};
        draft.setDraft(files);
        QVERIFY(editor.isSectionVisible());
        QVERIFY(!section.isHidden());
        QCOMPARE(editor.extensions(), (QStringList{QStringLiteral("bundle"), QStringLiteral("pdf")}));
        QCOMPARE(section.shownExtensions(), editor.extensions());
        QCOMPARE(OpenerRulesEditor::extensionSymbol(QStringLiteral("pdf")), QStringLiteral("doc.richtext"));
        QCOMPARE(OpenerRulesEditor::extensionSymbol(QStringLiteral("bundle")), QStringLiteral("doc"));
        // The system's choice shows, not marked as the group's own.
        QCOMPARE(editor.row(QStringLiteral("pdf")).applicationPath, std::optional<QString>(kPreview));
        QVERIFY(!editor.row(QStringLiteral("pdf")).isCustom);
        QVERIFY(!editor.row(QStringLiteral("bundle")).applicationPath);
    }

    // A hidden folder (".config") is no file type; a group of folders alone offers no rows and so
    // shows no section; a folder and a file without an extension show the application the system
    // opens them with on their badge.
    void foldersAreNoFileTypes()
    {
        const AppItem hidden = itemAt(folder(QStringLiteral(".config")));
        const AppItem projects = itemAt(folder(QStringLiteral("Projects")));
        const AppItem readme = itemAt(m_dir.filePath(QStringLiteral("README")));
        QFile file(readme.path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("read me\n");
        file.close();
        auto *workspace = static_cast<FakeWorkspace *>(&Workspace::shared());
        const QString files = QStringLiteral("/usr/share/applications/org.example.Files.desktop");
        const QString text = QStringLiteral("/usr/share/applications/org.example.Text.desktop");
        workspace->applicationsForURLs.insert(QUrl::fromLocalFile(projects.path), files);
        workspace->applicationsForURLs.insert(QUrl::fromLocalFile(readme.path), text);
        const auto restore = qScopeGuard([&] {
            workspace->applicationsForURLs.remove(QUrl::fromLocalFile(projects.path));
            workspace->applicationsForURLs.remove(QUrl::fromLocalFile(readme.path));
        });

        EditorDraft draft(groupWith(QStringLiteral("G"), {hidden, projects}));
        OpenerRulesEditor editor(&draft, {});
        OpenerSection section(&editor);
        QVERIFY(editor.extensions().isEmpty());
        QVERIFY(!editor.isSectionVisible());
        QVERIFY(section.isHidden());
        QCOMPARE(editor.openerApplicationForItem(projects), std::optional<QString>(files));

        AppGroup more = draft.draft();
        more.apps += {readme, itemAt(QStringLiteral("/d/b.pdf"))};
        draft.setDraft(more);
        QCOMPARE(editor.extensions(), QStringList{QStringLiteral("pdf")});
        QVERIFY(!section.isHidden());
        QCOMPARE(section.shownExtensions(), QStringList{QStringLiteral("pdf")});
        QCOMPARE(editor.openerApplicationForItem(readme), std::optional<QString>(text));
        QCOMPARE(editor.openerApplicationForItem(itemAt(QStringLiteral("/d/b.pdf"))), std::optional<QString>(kPreview));
    }

    void extensionRuleChosenAndCleared()
    {
        const AppItem report = itemAt(QStringLiteral("/d/REPORT.PDF"));
        EditorDraft draft(groupWith(QStringLiteral("G"), {report}));
        ImmediateChooser chooser;
        chooser.answer = kReader;
        OpenerRulesEditor editor(&draft, chooser.function());
        OpenerSection section(&editor);
        QVERIFY(section.clearAllButton()->isHidden());

        QTest::mouseClick(section.chipButton(QStringLiteral("pdf")), Qt::LeftButton);
        QCOMPARE(chooser.asked, QStringList{QStringLiteral(".pdf")});
        QCOMPARE(draft.draft().openerRules->byExtension.value(QStringLiteral("pdf")), kReader);
        QVERIFY(!editor.editingExtension());
        QVERIFY(editor.row(QStringLiteral("pdf")).isCustom);
        QVERIFY(editor.isCustomOpenerForItem(report)); // capitals match the rule for pdf
        QCOMPARE(draft.draft().resolveOpenerURL(report), std::optional<QUrl>(QUrl::fromLocalFile(kReader)));
        QCoreApplication::processEvents();
        QVERIFY(section.clearButton(QStringLiteral("pdf")));
        QVERIFY(!section.clearAllButton()->isHidden());
        QVERIFY(section.chip(QStringLiteral("pdf"))->isCustom());

        // A chooser closed without an application changes nothing.
        chooser.answer.reset();
        editor.chooseExtensionOpener(QStringLiteral("pdf"));
        QCOMPARE(draft.draft().openerRules->byExtension.value(QStringLiteral("pdf")), kReader);

        QTest::mouseClick(section.clearButton(QStringLiteral("pdf")), Qt::LeftButton);
        QVERIFY(!draft.draft().openerRules); // none, not an empty rule set
        QVERIFY(!editor.row(QStringLiteral("pdf")).isCustom);
        QVERIFY(section.clearAllButton()->isHidden());
    }

    void itemRulesBeatExtensionRulesAndClearApart()
    {
        const AppItem first = itemAt(QStringLiteral("/d/one.pdf"));
        const AppItem second = itemAt(QStringLiteral("/d/two.pdf"));
        AppGroup group = groupWith(QStringLiteral("G"), {first, second});
        group.customOpenerPath = QStringLiteral("/opt/Custom.desktop");
        EditorDraft draft(group);
        ImmediateChooser chooser;
        OpenerRulesEditor editor(&draft, chooser.function());

        // A custom opener alone shows its icon but does not mark the item as the group's rule.
        QVERIFY(!editor.isCustomOpenerForItem(first));
        chooser.answer = kReader;
        editor.chooseExtensionOpener(QStringLiteral("pdf"));
        chooser.answer = kPreview;
        editor.beginItemOpenerChoice(first);
        const QString key = first.id.toString(QUuid::WithoutBraces).toUpper();
        QCOMPARE(draft.draft().openerRules->byItem, (QMap<QString, QString>{{key, kPreview}}));
        QCOMPARE(draft.draft().openerRules->byExtension.value(QStringLiteral("pdf")), kReader);
        QCOMPARE(draft.draft().resolveOpenerURL(first), std::optional<QUrl>(QUrl::fromLocalFile(kPreview)));
        QCOMPARE(draft.draft().resolveOpenerURL(second), std::optional<QUrl>(QUrl::fromLocalFile(kReader)));
        QVERIFY(editor.hasItemRule(first));

        editor.clearItemOpener(first);
        QVERIFY(!editor.hasItemRule(first));
        QCOMPARE(draft.draft().openerRules->byExtension.size(), 1);

        editor.clearAllOpeners();
        QVERIFY(!draft.draft().openerRules);
        QVERIFY(!draft.draft().customOpenerPath);
    }

    void anOpenerChosenFirstIsStoredWithTheNewGroup()
    {
        QTemporaryDir dir;
        std::unique_ptr<GroupManager> store = makeStore(dir);
        EditorDraft draft(groupWith(QString(), {}));
        DraftChangeHandler handler(&draft, store.get(), true);
        ImmediateChooser chooser;
        chooser.answer = kReader;
        OpenerRulesEditor editor(&draft, chooser.function());

        editor.chooseExtensionOpener(QStringLiteral("pdf"));
        QVERIFY(store->groups().isEmpty()); // no real change yet
        QVERIFY(!handler.hasMadeChanges());

        AppGroup named = draft.draft();
        named.name = QStringLiteral("Papers");
        draft.setDraft(named);
        QCOMPARE(store->groups().size(), 1);
        QCOMPARE(store->groups().first().name, QStringLiteral("Papers"));
        QCOMPARE(store->groups().first().openerRules->byExtension.value(QStringLiteral("pdf")), kReader);
        QCOMPARE(store->groups().first().id, draft.groupID());

        // Later changes update the stored group.
        editor.clearAllOpeners();
        QVERIFY(!store->groups().first().openerRules);
        QCOMPARE(store->groups().size(), 1);
    }

    void newDraftStoresOnlyOnARealChange()
    {
        QTemporaryDir dir;
        std::unique_ptr<GroupManager> store = makeStore(dir);
        EditorDraft draft(groupWith(QString(), {}));
        DraftChangeHandler handler(&draft, store.get(), true);
        AppGroup spaces = draft.draft();
        spaces.name = QStringLiteral("  \n ");
        draft.setDraft(spaces);
        QVERIFY(store->groups().isEmpty());
        AppGroup styled = draft.draft();
        styled.displayStyle = AppGroup::DisplayStyle::List;
        draft.setDraft(styled);
        QCOMPARE(store->groups().size(), 1);
        QCOMPARE(store->groups().first().displayStyle, AppGroup::DisplayStyle::List);
    }

    void desktopCatalogReadsTheApplicationsFolders()
    {
        QTemporaryDir apps;
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile file(apps.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        write(QStringLiteral("reader.desktop"), "[Desktop Entry]\nType=Application\nName=Reader\nExec=reader %f\nMimeType=application/pdf;\n");
        write(QStringLiteral("editor.desktop"), "[Desktop Entry]\nType=Application\nName=Editor\nExec=editor %f\nMimeType=text/plain;\n");
        write(QStringLiteral("hidden.desktop"), "[Desktop Entry]\nType=Application\nName=Hidden\nExec=h\nNoDisplay=true\nMimeType=application/pdf;\n");
        write(QStringLiteral("link.desktop"), "[Desktop Entry]\nType=Link\nName=Site\nURL=https://example.com\n");
        write(QStringLiteral("broken.desktop"), QByteArray("\x00\xff[[[", 5));
        DesktopApplicationCatalog catalog({apps.path()});
        QCOMPARE(catalog.applicationsOpening(QStringLiteral("pdf")),
                 (QList<ApplicationCatalog::Application>{{apps.filePath(QStringLiteral("reader.desktop")), QStringLiteral("Reader")}}));
        // Markdown is a kind of plain text, so a text editor opens it.
        QCOMPARE(catalog.applicationsOpening(QStringLiteral("md")).size(), 1);
        QVERIFY(catalog.applicationsOpening(QString()).isEmpty());
        QCOMPARE(catalog.allApplications().size(), 2);
        QCOMPARE(catalog.allApplications().first().displayName, QStringLiteral("Editor"));
    }

    void chooserListsSuggestedApplicationsFirst()
    {
        auto catalog = std::make_unique<FakeApplicationCatalog>();
        catalog->byExtension.insert(QStringLiteral("pdf"), {{kReader, QStringLiteral("Reader")}});
        catalog->all = {{QStringLiteral("/usr/share/applications/a.desktop"), QStringLiteral("Atlas")},
                        {kReader, QStringLiteral("Reader")},
                        {QStringLiteral("/usr/share/applications/z.desktop"), QStringLiteral("Zebra")}};
        ApplicationCatalog::install(std::move(catalog));
        ApplicationChooserDialog dialog(QStringLiteral(".pdf"), QStringLiteral("pdf"));
        QCOMPARE(dialog.listedPaths(), (QStringList{kReader, QStringLiteral("/usr/share/applications/a.desktop"),
                                                    QStringLiteral("/usr/share/applications/z.desktop")}));
        dialog.searchField()->setText(QStringLiteral("zeb"));
        QCOMPARE(dialog.listedPaths(), QStringList{QStringLiteral("/usr/share/applications/z.desktop")});
        dialog.searchField()->clear();
        dialog.show();
        QListWidgetItem *reader = dialog.list()->findItems(QStringLiteral("Reader"), Qt::MatchExactly).first();
        dialog.list()->setCurrentItem(reader);
        emit dialog.list()->itemDoubleClicked(reader);
        QCOMPARE(dialog.chosenPath(), std::optional<QString>(kReader));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        ApplicationCatalog::install(nullptr);
    }

    // The chooser is drawn with the kit's field and list in both looks: the search text inset from
    // the field's edge, an accent focus outline (no blue ring), a list that scrolls with a slim
    // thumb and no arrow buttons, and a current row in the accent's wash, not the platform's blue.
    void theChooserUsesTheKitsFieldAndList()
    {
        auto catalog = std::make_unique<FakeApplicationCatalog>();
        for (int i = 0; i < 40; ++i)
            catalog->all.append({QStringLiteral("/usr/share/applications/app%1.desktop").arg(i), QStringLiteral("App %1").arg(i)});
        ApplicationCatalog::install(std::move(catalog));
        const auto restore = qScopeGuard([] {
            Appearance::shared().apply(false);
            ApplicationCatalog::install(nullptr);
        });
        const auto blueish = [](const QColor &c) { return c.blue() > c.red() + 40; };
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            ApplicationChooserDialog dialog(QStringLiteral(".pdf"), QStringLiteral("pdf"));
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            dialog.activateWindow();
            auto *field = qobject_cast<NVLXTextField *>(dialog.searchField());
            auto *list = qobject_cast<NVLXList *>(dialog.list());
            QVERIFY2(field && list, "the chooser's field and list are the kit's");
            QVERIFY(field->textMargins().left() >= 8);
            QTRY_VERIFY(field->hasFocus());
            const QImage fieldShot = field->grab().toImage();
            for (const QPoint &edge : {QPoint(fieldShot.width() / 2, 0), QPoint(fieldShot.width() / 2, fieldShot.height() - 1),
                                       QPoint(0, fieldShot.height() / 2)})
                QVERIFY2(!blueish(fieldShot.pixelColor(edge)), qPrintable(fieldShot.pixelColor(edge).name()));

            QScrollBar *bar = list->verticalScrollBar();
            QTRY_VERIFY(bar->isVisible() && bar->maximum() > 0);
            QStyleOptionSlider option;
            option.initFrom(bar);
            option.orientation = Qt::Vertical;
            option.minimum = bar->minimum();
            option.maximum = bar->maximum();
            option.pageStep = bar->pageStep();
            QCOMPARE(bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, bar).height(), 0);
            QCOMPARE(bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSubLine, bar).height(), 0);
            QVERIFY(bar->width() <= 10);

            QListWidgetItem *current = list->currentItem();
            QVERIFY(current);
            const QRect row = list->visualItemRect(current);
            const QImage listShot = list->viewport()->grab().toImage();
            const QColor wash = listShot.pixelColor(row.left() + 4, row.center().y());
            QVERIFY2(!blueish(wash), qPrintable(wash.name()));
        }
    }

    // Over a main window at its smallest the chooser stays inside the window; over a large one it
    // has its own size.
    void theChooserFitsItsWindow()
    {
        ApplicationCatalog::install(std::make_unique<FakeApplicationCatalog>());
        QWidget window;
        window.resize(600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ApplicationChooserDialog small(QStringLiteral(".pdf"), QStringLiteral("pdf"), &window);
        small.show();
        QTRY_VERIFY(small.isVisible());
        QVERIFY2(window.geometry().contains(small.geometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(small.x()).arg(small.y()).arg(small.width()).arg(small.height())));
        small.close();
        window.resize(900, 700);
        ApplicationChooserDialog roomy(QStringLiteral(".pdf"), QStringLiteral("pdf"), &window);
        QCOMPARE(roomy.size(), QSize(420, 480));
        ApplicationCatalog::install(nullptr);
    }
};

KESTROWAN_TEST_MAIN(TestOpeners)
#include "tst_openers.moc"
