// Each editor choice drawn as the page shows it, in light and dark (and Japanese, for text that
// must fit), saved as screenshots.
#include "Kestrowan/editor/ApplicationChooserDialog.h"
#include "Kestrowan/editor/DisplayStyleChoice.h"
#include "Kestrowan/editor/DisplayStyleSection.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/IconStyleChoice.h"
#include "Kestrowan/editor/IconStyleSection.h"
#include "Kestrowan/editor/OpenerRulesEditor.h"
#include "Kestrowan/editor/OpenerSection.h"
#include "Kestrowan/editor/ShortcutRecorder.h"
#include "Kestrowan/editor/ShortcutSection.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/UserDefaults.h"
#include "Platform/Workspace.h"
#include "Platform/fake/FakeApplicationCatalog.h"
#include "Platform/fake/FakeDisplayNames.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/styling/GalleryWindow.h"
#include "tests/support/RealApps.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {


// A page column as the editor lays its sections out: padded 20 by 12.
QVBoxLayout *pageColumn(QWidget *window)
{
    window->setFixedWidth(620);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(20, 12, 20, 12);
    layout->setSpacing(24);
    return layout;
}

} // namespace

class TestEditorGallery : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<SkinManager> m_skins;
    std::unique_ptr<GroupManager> m_store;
    QList<AppItem> m_items;
    QString m_writer;

    static void appearances()
    {
        QTest::addColumn<EffectiveAppearance>("appearance");
        QTest::addColumn<QString>("language");
        QTest::newRow("light") << EffectiveAppearance::Light << QString();
        QTest::newRow("dark") << EffectiveAppearance::Dark << QString();
        QTest::newRow("light-ja") << EffectiveAppearance::Light << QStringLiteral("ja");
    }

    void useLanguage(const QString &language)
    {
        LanguageManager::shared().setCurrentLanguage(language.isEmpty() ? QStringLiteral("en") : language);
        SystemFont::applyToApplication(language.isEmpty() ? QStringLiteral("en") : language);
    }

private slots:
    void initTestCase()
    {
        useSourceResources();
        // Real installed applications with their own icons; the documents' icons come from the
        // workspace the test fills.
        const RealApps::Found found = RealApps::applications();
        QVERIFY2(found.missing.isEmpty(), qPrintable(found.missing));
        const QList<AppItem> &apps = found.items;
        const AppItem &calculator = apps[0], &editor = apps[6], &pdf = apps[8];
        m_writer = editor.path;
        auto workspace = std::make_unique<RealApps::Workspace>();
        auto names = std::make_unique<FakeDisplayNames>();
        auto catalog = std::make_unique<FakeApplicationCatalog>();
        for (const AppItem &app : apps) {
            names->names.insert(app.path, app.name);
            catalog->all.append({app.path, app.name});
        }
        std::sort(catalog->all.begin(), catalog->all.end(), [](const auto &a, const auto &b) { return a.displayName < b.displayName; });
        workspace->documents.applicationsForURLs.insert(QUrl::fromLocalFile(QStringLiteral("/tmp/kestrowan_probe.pdf")), pdf.path);
        catalog->byExtension.insert(QStringLiteral("pdf"), {{pdf.path, pdf.name}, {editor.path, editor.name}});
        Workspace::install(std::move(workspace));
        DisplayNames::install(std::move(names));
        ApplicationCatalog::install(std::move(catalog));

        m_skins = std::make_unique<SkinManager>(m_dir.filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
        m_store = makeStore(m_dir);
        QDir().mkpath(m_dir.filePath(QStringLiteral("Projects")));
        QFile(m_dir.filePath(QStringLiteral("Brief.pdf"))).open(QIODevice::WriteOnly);
        QFile(m_dir.filePath(QStringLiteral("notes.md"))).open(QIODevice::WriteOnly);
        m_items = {calculator, editor,
                   itemAt(m_dir.filePath(QStringLiteral("Projects"))), itemAt(m_dir.filePath(QStringLiteral("Brief.pdf"))),
                   itemAt(m_dir.filePath(QStringLiteral("notes.md")))};
    }

    void choices_data() { appearances(); }
    void choices()
    {
        QFETCH(EffectiveAppearance, appearance);
        QFETCH(QString, language);
        useLanguage(language);

        AppGroup group = m_store->createGroup();
        group.name = QStringLiteral("Design");
        group.apps = m_items;
        group.iconStyle = AppGroup::IconStyle::Skin;
        group.skinId = QStringLiteral("aurora");
        m_store->updateGroup(group);
        EditorDraft draft(group);

        {
            QWidget window;
            QVBoxLayout *column = pageColumn(&window);
            IconStyleChoice choice(&draft, m_skins.get(), {});
            column->addWidget(new IconStyleSection(&choice));
            Gallery::save(&window, QStringLiteral("editor-iconstyle"), appearance, language);
        }
        {
            QWidget window;
            QVBoxLayout *column = pageColumn(&window);
            FakePermissions permissions;
            permissions.granted = true;
            DisplayStyleChoice choice(&draft, &permissions, UserDefaults::standard(), {});
            column->addWidget(new DisplayStyleSection(&choice));
            QVERIFY(choice.isDockTileIntercepted()); // the hint shows
            Gallery::save(&window, QStringLiteral("editor-displaystyle"), appearance, language);
        }
        {
            QWidget window;
            QVBoxLayout *column = pageColumn(&window);
            FakeShortcutStore shortcuts;
            shortcuts.list = {{group.id, 18, GroupShortcut::controlModifier | GroupShortcut::optionModifier}};
            ShortcutRecorder recorder(&draft, &shortcuts, m_store.get(), {});
            column->addWidget(new ShortcutSection(&recorder));
            FakeShortcutStore others;
            others.list = {{QUuid::createUuid(), 0, GroupShortcut::controlModifier}};
            ShortcutRecorder conflicted(&draft, &others, m_store.get(), {});
            column->addWidget(new ShortcutSection(&conflicted));
            conflicted.toggleRecording();
            conflicted.handleKeyPress(0, GroupShortcut::controlModifier);
            ShortcutRecorder recording(&draft, &shortcuts, m_store.get(), {});
            column->addWidget(new ShortcutSection(&recording));
            recording.toggleRecording();
            recording.handleKeyPress(0, GroupShortcut::shiftModifier);
            EditorDraft unsaved(groupWith(QString()));
            ShortcutRecorder waiting(&unsaved, &shortcuts, m_store.get(), {});
            column->addWidget(new ShortcutSection(&waiting));
            Gallery::save(&window, QStringLiteral("editor-shortcut"), appearance, language);
            recording.cancelRecording();
        }
        {
            QWidget window;
            QVBoxLayout *column = pageColumn(&window);
            AppGroup withRule = group;
            OpenerRules rules;
            rules.byExtension.insert(QStringLiteral("md"), m_writer);
            withRule.openerRules = rules;
            EditorDraft openers(withRule);
            OpenerRulesEditor editor(&openers, {});
            column->addWidget(new OpenerSection(&editor));
            Gallery::save(&window, QStringLiteral("editor-openers"), appearance, language);
        }
        {
            ApplicationChooserDialog dialog(QStringLiteral(".pdf"), QStringLiteral("pdf"));
            dialog.setPalette(Gallery::palette(appearance));
            Gallery::save(&dialog, QStringLiteral("editor-appchooser"), appearance, language);
        }
        useLanguage(QString());
    }
};

KESTROWAN_TEST_MAIN(TestEditorGallery)
#include "tst_editorgallery.moc"
