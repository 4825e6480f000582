// Pictures of the editor page in its states, in light and dark and in Japanese, saved under
// screenshots/ in the build folder for people to look at.
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/EditorHeaderRow.h"
#include "Kestrowan/editor/EditorItemCell.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/UserDefaults.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "Kestrowan/shell/ConfirmationAlert.h"
#include "tests/support/RealApps.h"
#include "tests/support/TestMain.h"
#include "tests/support/SettledIcons.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>
#include <QTreeView>

#include <utime.h>

class TestEditorScreens : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<GroupManager> m_store;
    std::unique_ptr<FakeDockSync> m_dock;
    std::unique_ptr<GroupEditorPage> m_page;
    // The program's own skins, so that the style row shows what a user's does.
    std::unique_ptr<SkinManager> m_skins;
    QList<AppItem> m_apps;

    QString file(const QString &name, const QByteArray &bytes = "Kestrowan")
    {
        const QString path = m_dir.filePath(QStringLiteral("Documents/") + name);
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        return path;
    }
    QList<AppItem> items()
    {
        QList<AppItem> list;
        // A text editor and a terminal as installed: their own entries and icons.
        for (const int index : {6, 4})
            list.append(m_apps.at(index));
        list.append(fileItem(file(QStringLiteral("Quarterly report.txt")), QStringLiteral("Quarterly report.txt")));
        list.append(fileItem(file(QStringLiteral("notes.md")), QStringLiteral("notes.md")));
        const QString projects = m_dir.filePath(QStringLiteral("Projects"));
        QDir().mkpath(projects);
        list.append(fileItem(projects, QStringLiteral("Projects")));
        list.append(AppItem{QUuid::createUuid(), QStringLiteral("url:https://kestrowan.example/"), QStringLiteral("kestrowan.example"),
                            QStringLiteral("https://kestrowan.example/")});
        list.append(fileItem(file(QStringLiteral("A very long document name that does not fit.txt")),
                             QStringLiteral("A very long document name that does not fit.txt")));
        return list;
    }

    GroupEditorPage *open(const QString &name, const QList<AppItem> &apps, bool dark, QSize size = QSize(620, 540))
    {
        m_page.reset();
        QApplication::setPalette(dark ? Appearance::darkPalette() : Appearance::lightPalette());
        AppGroup group = m_store->createGroup();
        group.name = name;
        group.apps = apps;
        m_store->updateGroup(group);
        return show(group, size);
    }

    GroupEditorPage *show(const AppGroup &group, QSize size = QSize(620, 540))
    {
        m_page.reset();
        GroupEditorServices services;
        services.groupManager = m_store.get();
        services.dockSync = m_dock.get();
        services.skinManager = m_skins.get();
        services.sendSignal = [](const QString &, const QMap<QString, QString> &) {};
        m_page = std::make_unique<GroupEditorPage>(services, group, false, [] {});
        m_page->resize(size);
        m_page->show();
        QTest::qWait(0);
        return m_page.get();
    }

    void save(const QString &name)
    {
        QCoreApplication::processEvents();
        // The picture of the bar once it has risen into its place.
        DockSyncBar *bar = m_page->syncBar();
        QTRY_VERIFY_WITH_TIMEOUT(!bar->isVisible() || bar->y() + bar->height() + 18 == m_page->height(), 10000);
        settleDecodedIcons(m_page.get());
        const QImage picture = m_page->grab().toImage();
        QVERIFY(!picture.isNull());
        const QString folder = QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots");
        QDir().mkpath(folder);
        QVERIFY(picture.save(folder + u'/' + name + QStringLiteral(".png")));
    }

    // A question (a window of its own) drawn onto the page where it stands over it, its shadow
    // and rounded corners on the page as the user sees them.
    QImage overPage(QWidget *alert)
    {
        settleDecodedIcons(m_page.get());
        QImage picture = m_page->grab().toImage();
        QPainter painter(&picture);
        painter.drawImage(m_page->mapFromGlobal(alert->pos()), alert->grab().toImage());
        return picture;
    }

    void rename(GroupEditorPage *page, const QString &name)
    {
        AppGroup group = page->draft()->draft();
        group.name = name;
        page->draft()->setDraft(group);
    }

    // Every state in one look; in Japanese the group's names are Japanese too, as a user there names them.
    void shootAll(bool dark, bool japanese = false)
    {
        const QString look = (dark ? QStringLiteral("dark") : QStringLiteral("light")) + (japanese ? QStringLiteral("-ja") : QString());
        const QString studio = japanese ? QStringLiteral("スタジオ") : QStringLiteral("Studio");
        m_dock->tile = false;
        open(japanese ? QStringLiteral("新しいグループ") : QStringLiteral("New group"), {}, dark);
        save(QStringLiteral("editor-empty-") + look);

        GroupEditorPage *page = open(studio, items(), dark);
        save(QStringLiteral("editor-items-") + look);
        QCOMPARE(page->syncController()->bar(), EditorSyncController::Bar::NotInDock);
        save(QStringLiteral("editor-bar-notindock-") + look);
        open(studio, items(), dark, QSize(620, 1180));
        save(QStringLiteral("editor-items-full-") + look);

        page = open(studio, items(), dark);
        page->itemActions()->confirmRemoveApp(page->draft()->draft().apps.at(3));
        if (auto *alert = page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert"))) {
            QVERIFY(QTest::qWaitForWindowExposed(alert));
            QVERIFY(overPage(alert).save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/editor-removeconfirm-") + look + QStringLiteral(".png")));
            alert->reject();
        }
        // An item's context menu (the kit's menu, a window of its own) drawn onto the page where
        // it stands.
        {
            EditorItemCell *cell = page->itemSection()->cells().at(3);
            settleDecodedIcons(page);
            std::unique_ptr<QMenu> menu(page->itemSection()->makeContextMenu(3, page));
            menu->popup(cell->mapToGlobal(cell->rect().center()));
            QTRY_VERIFY(menu->isVisible());
            QTest::qWait(20);
            QImage picture = page->grab().toImage();
            {
                QPainter painter(&picture);
                painter.drawImage(page->mapFromGlobal(menu->pos()), menu->grab().toImage());
            }
            QVERIFY(picture.save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/editor-itemmenu-") + look + QStringLiteral(".png")));
            menu->close();
        }
        // The open panel for files in its detail view, over a folder of fixed times: its list's
        // kinds and dates in the language of the rest.
        {
            const QString listed = m_dir.filePath(QStringLiteral("Listed"));
            QDir(listed).mkpath(QStringLiteral("Drafts"));
            QFile note(listed + QStringLiteral("/notes.txt"));
            QVERIFY(note.open(QIODevice::WriteOnly) && note.write("words\n") == 6);
            note.close();
            const QDateTime stamp(QDate(2026, 3, 14), QTime(9, 30));
            const utimbuf times{stamp.toSecsSinceEpoch(), stamp.toSecsSinceEpoch()};
            for (const QString &name : {QStringLiteral("/notes.txt"), QStringLiteral("/Drafts")})
                QCOMPARE(utime(QFile::encodeName(listed + name).constData(), &times), 0);
            QFileDialog *panel = page->addItemsWithOpenPanel(false);
            QVERIFY(QTest::qWaitForWindowExposed(panel));
            panel->setViewMode(QFileDialog::Detail);
            panel->setDirectory(listed);
            panel->resize(620, 380);
            auto *view = panel->findChild<QTreeView *>(QStringLiteral("treeView"));
            QVERIFY(view);
            QTRY_COMPARE_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()), 2, 10000);
            // The list alone: the address and the places beside it name the test's own folders.
            QVERIFY(view->grab().toImage().save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/editor-openpanel-") + look + QStringLiteral(".png")));
            panel->reject();
        }
        // The question before deleting the group, which names it.
        page->header()->deleteButton()->click();
        if (auto *alert = page->findChild<ConfirmationAlert *>(QStringLiteral("deleteGroupAlert"))) {
            QVERIFY(QTest::qWaitForWindowExposed(alert));
            QVERIFY(overPage(alert).save(QStringLiteral(KESTROWAN_BINARY_DIR "/screenshots/editor-deleteconfirm-") + look + QStringLiteral(".png")));
            alert->reject();
        } else {
            QFAIL("no delete question");
        }
        page->setDragRunner([](QWidget *, QMimeData *payload, const QPixmap &) { delete payload; });
        page->itemActions()->beginItemDrag(page->draft()->draft().apps.at(2).id);
        page->itemActions()->dropEntered(page->draft()->draft().apps.at(0).id);
        QTest::qWait(60);
        save(QStringLiteral("editor-reorder-") + look);

        // The bar in each of its states; each picture shows the state its name says.
        using Status = EditorSyncController::Status;
        using Bar = EditorSyncController::Bar;
        const auto shoot = [&](const QString &name, Status status, Bar bar) {
            QCOMPARE(page->syncController()->status(), status);
            QCOMPARE(page->syncController()->bar(), bar);
            save(name + look);
        };
        // Syncs the pages shot before asked for are answered first: what follows is this page's.
        while (!m_dock->pending.isEmpty())
            m_dock->finish(false);
        page = open(studio, items(), dark);
        m_dock->tile = true;
        m_dock->syncedContents = {page->draft()->draft()};
        page->syncController()->recordSyncedSnapshotOnAppear();
        shoot(QStringLiteral("editor-bar-uptodate-"), Status::UpToDate, Bar::None);
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
        rename(page, studio + (japanese ? QStringLiteral(" 仕事") : QStringLiteral(" work")));
        shoot(QStringLiteral("editor-bar-unsynced-"), Status::None, Bar::UnsyncedChanges);
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
        rename(page, studio + (japanese ? QStringLiteral(" 仕事場") : QStringLiteral(" works")));
        QVERIFY(page->syncController()->isCountdownRunning());
        shoot(QStringLiteral("editor-bar-countdown-"), Status::None, Bar::UnsyncedChanges);
        page->syncController()->cancelAutoSyncCountdown();
        page->syncController()->syncNow();
        shoot(QStringLiteral("editor-bar-syncing-"), Status::Syncing, Bar::None);
        m_dock->finish(false);
        shoot(QStringLiteral("editor-bar-failed-"), Status::Failed, Bar::UnsyncedChanges);
        page->syncController()->syncNow();
        m_dock->finish(true);
        shoot(QStringLiteral("editor-bar-synced-"), Status::Synced, Bar::None);

        AppGroup elsewhere = page->draft()->draft();
        elsewhere.name = japanese ? QStringLiteral("別の場所で変更") : QStringLiteral("Changed elsewhere");
        m_store->updateGroup(elsewhere);
        page = show(elsewhere);
        shoot(QStringLiteral("editor-bar-outofdate-"), Status::None, Bar::OutOfDate);
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
    }

private slots:
    void initTestCase()
    {
        useSourceResources();
        m_store = makeEditorStore(m_dir);
        m_dock = std::make_unique<FakeDockSync>();
        m_skins = std::make_unique<SkinManager>(m_dir.filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
        SystemFont::applyToApplication();
        const RealApps::Found found = RealApps::applications();
        QVERIFY2(found.missing.isEmpty(), qPrintable(found.missing));
        m_apps = found.items;
    }

    void cleanupTestCase()
    {
        m_page.reset();
        m_store.reset();
        m_skins.reset();
    }

    void light() { shootAll(false); }
    void dark() { shootAll(true); }

    void japanese()
    {
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("ja"));
        SystemFont::applyToApplication(QStringLiteral("ja"));
        shootAll(false, true);
        GroupEditorPage *page = open(QStringLiteral("スタジオ"), items(), true);
        page->itemActions()->beginItemDrag(page->draft()->draft().apps.at(1).id);
        save(QStringLiteral("editor-reorder-dark-ja"));
        LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
    }
};

KESTROWAN_TEST_MAIN(TestEditorScreens)
#include "tst_editorscreens.moc"
