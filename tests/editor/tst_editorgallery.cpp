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
#include "Platform/fake/FakeWorkspace.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/styling/GalleryWindow.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

const QString kPreview = QStringLiteral("/usr/share/applications/org.example.Preview.desktop");
const QString kWriter = QStringLiteral("/usr/share/applications/org.example.Writer.desktop");


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
        auto workspace = std::make_unique<FakeWorkspace>();
        workspace->fileIcons.insert(QStringLiteral("/Applications/Mail.app"), Gallery::applicationIcon(QColor(80, 170, 255), QColor(20, 90, 230), QStringLiteral("M")));
        workspace->fileIcons.insert(QStringLiteral("/Applications/Notes.app"), Gallery::applicationIcon(QColor(255, 214, 80), QColor(240, 160, 20), QStringLiteral("N")));
        workspace->fileIcons.insert(kPreview, Gallery::applicationIcon(QColor(120, 200, 255), QColor(60, 120, 220), QStringLiteral("P")));
        workspace->fileIcons.insert(kWriter, Gallery::applicationIcon(QColor(120, 220, 160), QColor(30, 150, 90), QStringLiteral("W")));
        workspace->applicationsForURLs.insert(QUrl::fromLocalFile(QStringLiteral("/tmp/kestrowan_probe.pdf")), kPreview);
        Workspace::install(std::move(workspace));
        auto names = std::make_unique<FakeDisplayNames>();
        names->names.insert(kPreview, QStringLiteral("Preview"));
        names->names.insert(kWriter, QStringLiteral("Writer"));
        DisplayNames::install(std::move(names));
        auto catalog = std::make_unique<FakeApplicationCatalog>();
        catalog->byExtension.insert(QStringLiteral("pdf"), {{kPreview, QStringLiteral("Preview")}, {kWriter, QStringLiteral("Writer")}});
        catalog->all = {{QStringLiteral("/usr/share/applications/atlas.desktop"), QStringLiteral("Atlas")},
                        {QStringLiteral("/usr/share/applications/files.desktop"), QStringLiteral("Files")},
                        {kPreview, QStringLiteral("Preview")},
                        {QStringLiteral("/usr/share/applications/terminal.desktop"), QStringLiteral("Terminal")},
                        {kWriter, QStringLiteral("Writer")}};
        ApplicationCatalog::install(std::move(catalog));

        m_skins = std::make_unique<SkinManager>(m_dir.filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
        m_store = makeStore(m_dir);
        QDir().mkpath(m_dir.filePath(QStringLiteral("Projects")));
        QFile(m_dir.filePath(QStringLiteral("Brief.pdf"))).open(QIODevice::WriteOnly);
        QFile(m_dir.filePath(QStringLiteral("notes.md"))).open(QIODevice::WriteOnly);
        m_items = {itemAt(QStringLiteral("/Applications/Mail.app")), itemAt(QStringLiteral("/Applications/Notes.app")),
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
            rules.byExtension.insert(QStringLiteral("md"), kWriter);
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
