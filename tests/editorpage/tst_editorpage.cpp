// The editor page driven as a user drives it, offscreen: every change is checked in "groups.json".
#include "Kestrowan/editor/DockStatusChip.h"
#include "Kestrowan/editor/DockSyncBar.h"
#include "Kestrowan/editor/DockBarButton.h"
#include "Kestrowan/editor/EditorActionButton.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorHeaderRow.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/editor/EditorItemCell.h"
#include "Kestrowan/editor/EditorItemSection.h"
#include "Kestrowan/editor/EditorSyncController.h"
#include "Kestrowan/editor/GroupEditorPage.h"
#include "Kestrowan/editor/IconChoiceButton.h"
#include "Kestrowan/editor/IconStyleSection.h"
#include "Kestrowan/editor/OpenerSection.h"
#include "Kestrowan/editor/ReorderTile.h"
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/groups/GroupManager.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "Kestrowan/shell/PointerPlainButton.h"
#include "Platform/UserDefaults.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/Appearance.h"
#include "Kestrowan/shell/ConfirmationAlert.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/KeyboardFocusRing.h"
#include "NVLXDesign/DynamicShadowEffect.h"
#include "NVLXDesign/SurfaceShadowEffect.h"
#include "NVLXDesign/NVLXMenu.h"
#include "NVLXDesign/SystemFont.h"
#include "Kestrowan/editor/ScrollCue.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "tests/support/FullDisk.h"
#include "tests/support/PermissionOverride.h"
#include "tests/support/PixelChecks.h"
#include "tests/support/TestMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QThreadPool>

#include "tests/support/TestFiles.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList names(const QList<AppItem> &items)
{
    QStringList list;
    for (const AppItem &item : items)
        list.append(item.name);
    return list;
}

void sendDrag(QWidget *target, QMimeData *mime, bool drop)
{
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!drop)
        return;
    QDropEvent dropEvent(QPointF(centre), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropEvent);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Drops `mime` on the middle of `target` as a drag from another program would; true when the
// target took it (the source is told whether it was taken).
bool dropOn(QWidget *target, QMimeData *mime)
{
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(centre), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() && drop.dropAction() != Qt::IgnoreAction;
}

void pressAndPull(QWidget *widget)
{
    const QPointF start = widget->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, start, widget->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    const QPointF end = start + QPointF(30, 0);
    QMouseEvent move(QEvent::MouseMove, end, widget->mapToGlobal(end), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// Whether two pictures of a page show the same: every pixel outside `surface` (the shadow and the
// page) equal, and inside it at most two levels apart, where an antialiased edge drawn straight into
// the window rounds differently from one drawn into a picture first.
bool sameShadow(const QImage &a, const QImage &b, const QRect &surface)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (most > (surface.contains(x, y) ? 2 : 0)) {
                qWarning("Pixel %d,%d differs by %d", x, y, most);
                return false;
            }
        }
    }
    return true;
}

} // namespace

class TestEditorPage : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dirOwner;
    QTemporaryDir &dir() { return *m_dirOwner; }
    std::unique_ptr<GroupManager> m_store;
    std::unique_ptr<FakeDockSync> m_dock;
    std::unique_ptr<GroupEditorPage> m_page;
    std::unique_ptr<SkinManager> m_skins;
    SentSignals m_sent;
    int m_backs = 0;

    GroupEditorPage *open(const AppGroup &group, bool isNewDraft)
    {
        GroupEditorServices services;
        services.groupManager = m_store.get();
        services.dockSync = m_dock.get();
        services.sendSignal = m_sent.sender();
        services.droppedItemsFolder = dir().filePath(QStringLiteral("Kept"));
        services.skinManager = m_skins.get();
        m_page = std::make_unique<GroupEditorPage>(services, group, isNewDraft, [this] { ++m_backs; });
        m_page->itemActions()->setTemporaryFolders({dir().filePath(QStringLiteral("scratch"))});
        m_page->resize(620, 540);
        m_page->show();
        return m_page.get();
    }
    AppGroup stored(const QString &name, const QList<AppItem> &apps)
    {
        AppGroup group = m_store->createGroup();
        group.name = name;
        group.apps = apps;
        m_store->updateGroup(group);
        return group;
    }
    AppGroup onDisk(const QUuid &id)
    {
        for (const AppGroup &group : storedGroups(*m_store)) {
            if (group.id == id)
                return group;
        }
        return {};
    }
    QString folder(const QString &name)
    {
        const QString path = dir().filePath(name);
        QDir().mkpath(path);
        return path;
    }

private slots:
    void initTestCase() { useSourceResources(); }

    void init()
    {
        m_store.reset();
        m_dirOwner = std::make_unique<QTemporaryDir>();
        m_store = makeEditorStore(dir());
        m_store->setGroups({});
        m_dock = std::make_unique<FakeDockSync>();
        m_sent = SentSignals();
        m_backs = 0;
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
    }

    void cleanup()
    {
        m_page.reset();
        m_skins.reset();
    }

    // The sync bar's shadow is made once per size and look and drawn again from that: in both
    // looks it is, pixel for pixel, the shadow the plain drop-shadow effect draws on every repaint.
    void theSyncBarsShadowIsThePlainEffectsShadow()
    {
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            m_dock->tile = true;
            const AppGroup group = stored(QStringLiteral("Shadowed"), {appItem(QStringLiteral("org.example.Mail"), QStringLiteral("Mail"))});
            m_dock->syncedContents = {group};
            GroupEditorPage *page = open(group, false);
            QVERIFY(QTest::qWaitForWindowExposed(page));
            page->nameField()->setFocus();
            QTest::keyClick(page->nameField(), Qt::Key_End);
            QTest::keyClicks(page->nameField(), QStringLiteral("s"));
            auto *bar = page->findChild<DockSyncBar *>();
            QVERIFY(bar);
            // Risen in from the bottom edge to its place.
            QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible() && bar->geometry().bottom() == page->height() - 18 - 1, 5000);
            QTest::qWait(300);
            const QImage made = page->grab().toImage();
            // The bar's content changes under the kept shadow.
            QTest::keyClicks(page->nameField(), QStringLiteral("t"));
            const QImage drawnAgain = page->grab().toImage();
            DynamicShadowEffect::apply(bar, AppColors::shadowLg, 18, QPointF(0, 8));
            const QImage plain = page->grab().toImage();
            QVERIFY(qobject_cast<SurfaceShadowEffect *>(bar->graphicsEffect()) == nullptr);
            QVERIFY(sameShadow(drawnAgain, plain, bar->geometry()));
            QTest::keyClick(page->nameField(), Qt::Key_Backspace);
            QVERIFY(sameShadow(made, page->grab().toImage(), bar->geometry()));
            m_page.reset();
        }
        Appearance::shared().apply(false);
    }

    void renameThroughTheNameField()
    {
        const AppGroup group = stored(QStringLiteral("Work"), {});
        GroupEditorPage *page = open(group, false);
        QCOMPARE(page->nameField()->text(), QStringLiteral("Work"));
        page->nameField()->setFocus();
        QTest::keyClick(page->nameField(), Qt::Key_End);
        QTest::keyClicks(page->nameField(), QStringLiteral(" tools "));
        QCOMPARE(onDisk(group.id).name, QStringLiteral("Work tools "));
        QCOMPARE(m_store->groups().size(), 1);
    }

    // A live switch of the look recolours the name the user typed at once: light text on the dark
    // page, and dark again after switching back.
    void nameFieldFollowsALiveLookSwitch()
    {
        Appearance::shared().apply(false);
        GroupEditorPage *page = open(stored(QStringLiteral("Studio"), {}), false);
        QVERIFY(QTest::qWaitForWindowExposed(page));
        QLineEdit *field = page->nameField();
        const auto textIsLight = [page, field] {
            const QImage shot = page->grab(QRect(field->mapTo(page, QPoint(0, 0)), field->size())).toImage();
            const auto [fill, ink] = fillAndInk(shot);
            return contrastRatio(fill, ink) > 3 && ink.lightness() > fill.lightness();
        };
        QVERIFY(!textIsLight());
        Appearance::shared().apply(true);
        QTRY_VERIFY_WITH_TIMEOUT(textIsLight(), 5000);
        Appearance::shared().apply(false);
        QTRY_VERIFY_WITH_TIMEOUT(!textIsLight(), 5000);
    }

    // The empty page's filled buttons, "From Dock" on blue and "Apps" on the accent, write their
    // titles in one ink that reads on both fills, in both looks.
    void theFilledAddButtonsShareAReadableInk()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        GroupEditorPage *page = open(stored(QStringLiteral("Studio"), {}), false);
        QVERIFY(QTest::qWaitForWindowExposed(page));
        QVERIFY(page->itemSection()->showsEmptyState());
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            QList<QColor> inks;
            for (int index : {0, 1}) {
                EditorActionButton *button = page->itemSection()->emptyStateButtons().at(index);
                QTRY_COMPARE_WITH_TIMEOUT(effectiveAppearance(button), dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light, 5000);
                // The title's middle band, clear of the rounded corners and the shadow.
                const QRect band = QRectF(button->width() * 0.3, button->height() * 0.3, button->width() * 0.6, button->height() * 0.4).toRect();
                const auto [fill, ink] = fillAndInk(button->grab(band).toImage());
                QCOMPARE(fill, (index == 0 ? AppColors::info : AppColors::accent).resolve(button));
                QVERIFY2(contrastRatio(fill, ink) >= 4.5,
                         qPrintable(QStringLiteral("%1 on %2: %3").arg(ink.name(), fill.name()).arg(contrastRatio(fill, ink))));
                inks.append(ink);
            }
            // Both titles are drawn in the same ink: dark on both or light on both.
            QVERIFY2(qAbs(inks[0].lightness() - inks[1].lightness()) < 40,
                     qPrintable(inks[0].name() + QStringLiteral(" beside ") + inks[1].name()));
        }
    }

    void newDraftBecomesAGroupWhenNamed()
    {
        AppGroup draft = makeEditorGroup(QString());
        GroupEditorPage *page = open(draft, true);
        QVERIFY(!page->header()->deleteButton()->isEnabled());
        // A new group opens with the keyboard in its name: typing names it at once.
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page));
        QTRY_COMPARE(QApplication::focusWidget(), page->nameField());
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("  "));
        QVERIFY(storedGroups(*m_store).isEmpty());
        QTest::keyClicks(page->nameField(), QStringLiteral("P"));
        QCOMPARE(storedGroups(*m_store).size(), 1);
        QCOMPARE(storedGroups(*m_store).first().name, QStringLiteral("  P"));
        QVERIFY(page->header()->deleteButton()->isEnabled());
    }

    void addAFolderThroughTheOpenPanel()
    {
        const AppGroup group = stored(QStringLiteral("Folders"), {});
        GroupEditorPage *page = open(group, false);
        QVERIFY(page->itemSection()->showsEmptyState());
        const QString projects = folder(QStringLiteral("home/Projects"));
        page->itemSection()->emptyStateButtons().at(3)->click();
        QFileDialog *panel = page->findChild<QFileDialog *>(QStringLiteral("addItemsPanel"));
        QVERIFY(panel);
        QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), 10000);
        QCOMPARE(panel->fileMode(), QFileDialog::Directory);
        // The program's own chooser, which it can put above its window, modal to the window.
        QVERIFY(panel->testOption(QFileDialog::DontUseNativeDialog));
        QCOMPARE(panel->windowModality(), Qt::WindowModal);
        QCOMPARE(panel->windowTitle(), localizedText("editor.openPanel.foldersTitle"));
        panel->setDirectory(QFileInfo(projects).path());
        auto *name = panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(projects);
        QPushButton *choose = panel->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Open);
        QCOMPARE(choose->text(), localizedText("picker.chooseFolders"));
        choose->click();
        QTRY_COMPARE_WITH_TIMEOUT(page->draft()->draft().apps.size(), 1, 10000);
        const AppGroup saved = onDisk(group.id);
        QCOMPARE(saved.apps.size(), 1);
        QCOMPARE(saved.apps.first().path, projects);
        QCOMPARE(saved.apps.first().bundleIdentifier, QStringLiteral("file:") + projects);
        QVERIFY(!page->itemSection()->showsEmptyState());
        QCOMPARE(page->itemSection()->cells().size(), 1);
        QVERIFY(!page->itemSection()->cells().first()->isApplicationCell());
    }

    void dropALink()
    {
        const AppGroup group = stored(QStringLiteral("Links"), {fileItem(QStringLiteral("/etc/hostname"))});
        GroupEditorPage *page = open(group, false);
        QMimeData mime;
        mime.setUrls({QUrl(QStringLiteral("https://kestrowan.example/docs"))});
        sendDrag(page->itemSection(), &mime, false);
        QVERIFY(page->itemSection()->isTargetedForDrop());
        sendDrag(page->itemSection(), &mime, true);
        QVERIFY(!page->itemSection()->isTargetedForDrop());
        const AppGroup saved = onDisk(group.id);
        QCOMPARE(saved.apps.size(), 2);
        QCOMPARE(saved.apps.last().bundleIdentifier, QStringLiteral("url:https://kestrowan.example/docs"));
        QCOMPARE(saved.apps.last().name, QStringLiteral("kestrowan.example"));
        // The same link again adds nothing.
        sendDrag(page->itemSection(), &mime, true);
        QCOMPARE(onDisk(group.id).apps.size(), 2);
        QCOMPARE(m_sent.count(QStringLiteral("group.app_added")), 1);
    }

    // A folder dropped from a temporary place is copied aside off the main thread: a pipe in it
    // neither hangs the program nor comes along, a link stays the same link (never followed out of
    // the tree), and the copy goes when its item or its group does. A drop that adds nothing is
    // refused to its source; a tree over the limit is refused with a message.
    void aTemporaryFolderIsCopiedAsideAndGoesWithItsItem()
    {
        DroppedItemKeeper::followStore(*m_store, dir().filePath(QStringLiteral("Kept")));
        const QString unpacked = folder(QStringLiteral("scratch/Unpacked"));
        writeFile(unpacked + QStringLiteral("/read me.txt"), "hello");
        writeFile(unpacked + QStringLiteral("/sub/inner.txt"), "inner");
        writeFile(folder(QStringLiteral("secret")) + QStringLiteral("/private.txt"), "not to be copied");
        QVERIFY(::mkfifo(QFile::encodeName(unpacked + QStringLiteral("/pipe")).constData(), 0600) == 0);
        QVERIFY(QFile::link(dir().filePath(QStringLiteral("secret")), unpacked + QStringLiteral("/outside")));
        QVERIFY(::symlink("read me.txt", QFile::encodeName(unpacked + QStringLiteral("/inside")).constData()) == 0);

        const AppGroup group = stored(QStringLiteral("Drops"), {fileItem(QStringLiteral("/etc/hostname"))});
        GroupEditorPage *page = open(group, false);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(unpacked)});
        QVERIFY(dropOn(page->itemSection(), &mime));
        const QString kept = dir().filePath(QStringLiteral("Kept/Unpacked"));
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(group.id).apps.size(), 2, 20000);
        QCOMPARE(onDisk(group.id).apps.last().path, kept);
        QCOMPARE(fileBytes(kept + QStringLiteral("/read me.txt")), QByteArray("hello"));
        QCOMPARE(fileBytes(kept + QStringLiteral("/sub/inner.txt")), QByteArray("inner"));
        QVERIFY(!QFileInfo::exists(kept + QStringLiteral("/pipe")) && !QFileInfo(kept + QStringLiteral("/pipe")).isSymLink());
        QVERIFY(QFileInfo(kept + QStringLiteral("/outside")).isSymLink());
        QCOMPARE(QFileInfo(kept + QStringLiteral("/outside")).symLinkTarget(), dir().filePath(QStringLiteral("secret")));
        QVERIFY(QFileInfo(kept + QStringLiteral("/inside")).isSymLink());
        QVERIFY(QDir(dir().filePath(QStringLiteral("Kept"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                == QStringList{QStringLiteral("Unpacked")});

        // The same folder again adds nothing; a link already held adds nothing: the drops are refused.
        QMimeData held;
        held.setUrls({QUrl::fromLocalFile(QStringLiteral("/etc/hostname"))});
        QVERIFY(!dropOn(page->itemSection(), &held));

        // Over the limit: refused whole, with the reason on the page.
        const QString big = folder(QStringLiteral("scratch/Big"));
        QFile huge(big + QStringLiteral("/huge.bin"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(DroppedItemKeeper::defaultMaximumBytes + 1));
        huge.close();
        QMimeData bigDrop;
        bigDrop.setUrls({QUrl::fromLocalFile(big)});
        dropOn(page->itemSection(), &bigDrop);
        auto *notices = page->findChild<AppToastModifier *>();
        QVERIFY(notices);
        QTRY_VERIFY_WITH_TIMEOUT(notices->toast() && notices->toast()->kind == AppToast::Kind::Error, 20000);
        QVERIFY2(notices->toast()->text.contains(QStringLiteral("Big")), qPrintable(notices->toast()->text));
        QCOMPARE(onDisk(group.id).apps.size(), 2);
        QVERIFY(!QFileInfo::exists(dir().filePath(QStringLiteral("Kept/Big"))));

        // Removing the item removes the copy.
        EditorItemCell *cell = page->itemSection()->cells().at(1);
        QTest::mouseClick(cell->removeButton(), Qt::LeftButton);
        ConfirmationAlert *alert = page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert"));
        QVERIFY(alert);
        QTest::mouseClick(alert->confirmButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(group.id).apps.size(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(kept), 10000);
        QVERIFY(QFileInfo::exists(dir().filePath(QStringLiteral("secret/private.txt"))));
        QVERIFY(QFileInfo::exists(unpacked + QStringLiteral("/read me.txt")));

        // Deleting the group removes the copies of its items.
        QVERIFY(dropOn(page->itemSection(), &mime));
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(group.id).apps.size(), 2, 20000);
        QVERIFY(QFileInfo::exists(kept));
        page->header()->deleteButton()->click();
        alert = page->findChild<ConfirmationAlert *>(QStringLiteral("deleteGroupAlert"));
        QVERIFY(alert);
        QTest::mouseClick(alert->confirmButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_store->groups().isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(kept), 10000);
    }

    // The copy of a dropped temporary folder is the item's folder: what the user saves in it is
    // theirs. When the item leaves the group, and when the group is deleted, only the files the
    // program copied go; the user's work stays, with the folders on its way, and the user is told
    // which folder stays.
    void workSavedInAKeptCopyStaysWhenItsItemGoes()
    {
        DroppedItemKeeper::followStore(*m_store, dir().filePath(QStringLiteral("Kept")));
        QSignalSpy told(m_store.get(), &GroupManager::foldersKeptForUserFiles);
        const QString unpacked = folder(QStringLiteral("scratch/Unpacked"));
        writeFile(unpacked + QStringLiteral("/read me.txt"), "hello");
        writeFile(unpacked + QStringLiteral("/sub/inner.txt"), "inner");
        const AppGroup group = stored(QStringLiteral("Drops"), {fileItem(QStringLiteral("/etc/hostname"))});
        GroupEditorPage *page = open(group, false);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(unpacked)});
        const auto dropAndSaveWork = [&](const QByteArray &work) -> QString {
            const qsizetype before = onDisk(group.id).apps.size();
            if (!dropOn(page->itemSection(), &mime))
                return QString();
            if (!QTest::qWaitFor([&] { return onDisk(group.id).apps.size() == before + 1; }, 20000))
                return QString();
            const QString kept = onDisk(group.id).apps.last().path;
            // The user opens the item's folder and saves their work in it, beside and below the copy's files.
            writeFile(kept + QStringLiteral("/my work.txt"), work);
            writeFile(kept + QStringLiteral("/sub/answers.txt"), work + " answers");
            return kept;
        };
        const auto verifyOnlyTheWorkStays = [&](const QString &kept, const QByteArray &work) {
            QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(kept + QStringLiteral("/read me.txt")), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(kept + QStringLiteral("/sub/inner.txt")), 10000);
            QCOMPARE(folderTree(kept), (QMap<QString, QByteArray>{{QStringLiteral("my work.txt"), work},
                                                                  {QStringLiteral("sub"), "<folder>"},
                                                                  {QStringLiteral("sub/answers.txt"), work + " answers"}}));
            QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty(), 10000);
            QVERIFY(m_store->takeFoldersKeptForUserFiles().contains(kept));
            told.clear();
        };

        // The item leaves the group.
        const QString first = dropAndSaveWork("first draft");
        QVERIFY(!first.isEmpty());
        EditorItemCell *cell = page->itemSection()->cells().at(1);
        QTest::mouseClick(cell->removeButton(), Qt::LeftButton);
        ConfirmationAlert *alert = page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert"));
        QVERIFY(alert);
        QTest::mouseClick(alert->confirmButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(group.id).apps.size(), 1, 10000);
        verifyOnlyTheWorkStays(first, "first draft");

        // Dropped again and worked in: the group is deleted.
        const QString second = dropAndSaveWork("second draft");
        QVERIFY(!second.isEmpty() && second != first);
        page->header()->deleteButton()->click();
        alert = page->findChild<ConfirmationAlert *>(QStringLiteral("deleteGroupAlert"));
        QVERIFY(alert);
        QTest::mouseClick(alert->confirmButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m_store->groups().isEmpty(), 10000);
        verifyOnlyTheWorkStays(second, "second draft");
        // What the user kept is theirs from now on: later changes of the groups leave it be, and say nothing.
        stored(QStringLiteral("Later"), {fileItem(QStringLiteral("/etc/hostname"))});
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        QCoreApplication::processEvents();
        QCOMPARE(fileBytes(first + QStringLiteral("/my work.txt")), QByteArray("first draft"));
        QVERIFY(told.isEmpty());
    }

    // A drop from a temporary folder that cannot be copied (a full disk, a folder that cannot be
    // written) adds nothing and says why: never a short copy in the group, never silence.
    void aDropThatCannotBeCopiedAddsNothingAndSaysWhy()
    {
        // Smaller than a file's write buffer, so that only the flush meets the full disk; and a folder
        // whose file is larger, so that the writes themselves fail.
        const QString download = folder(QStringLiteral("scratch")) + QStringLiteral("/report.txt");
        writeFile(download, QByteArray(3000, 'r'));
        const QString unpacked = folder(QStringLiteral("scratch/Photos"));
        writeFile(unpacked + QStringLiteral("/one.jpg"), QByteArray(200 * 1024, 'p'));
        const QString kept = dir().filePath(QStringLiteral("Kept"));
        const AppGroup group = stored(QStringLiteral("Drops"), {fileItem(QStringLiteral("/etc/hostname"))});
        m_store->waitUntilSaved();
        GroupEditorPage *page = open(group, false);
        auto *notices = page->findChild<AppToastModifier *>();
        QVERIFY(notices);
        const auto dropAndWait = [&](const QString &path, const QString &message) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path)});
            dropOn(page->itemSection(), &mime);
            QTRY_VERIFY_WITH_TIMEOUT(page->itemActions()->keeper()->runningCopies() == 0, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(notices->toast() && notices->toast()->text == message, 20000);
            QCOMPARE(notices->toast()->kind, AppToast::Kind::Error);
        };

        for (const QString &path : {download, unpacked}) {
            FullDisk disk(64);
            QVERIFY(disk.active());
            const QString name = QFileInfo(path).fileName();
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to keep dropped item .*") + name));
            dropAndWait(path, localizedFormat(QStringLiteral("editor.dropNoRoom"), {name}));
            QCOMPARE(page->draft()->draft().apps.size(), 1);
            QCOMPARE(QDir(kept).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        }

        // A folder of its own that cannot be written, as for any other user when the program runs as root.
        QVERIFY(setFolderWritable(kept, false));
        {
            WithoutPermissionOverride asAnyUser;
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Failed to keep dropped item .*Photos")));
            dropAndWait(unpacked, localizedFormat(QStringLiteral("editor.dropNotWritable"), {QStringLiteral("Photos")}));
        }
        QVERIFY(setFolderWritable(kept, true));
        QCOMPARE(onDisk(group.id).apps.size(), 1);

        // With room again the same drops are kept whole.
        for (const QString &path : {download, unpacked}) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path)});
            QVERIFY(dropOn(page->itemSection(), &mime));
        }
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(group.id).apps.size(), 3, 20000);
        QCOMPARE(fileBytes(kept + QStringLiteral("/report.txt")), QByteArray(3000, 'r'));
        QCOMPARE(fileBytes(kept + QStringLiteral("/Photos/one.jpg")), QByteArray(200 * 1024, 'p'));
    }

    // A long text of links arrives as one change of the group, every line of it.
    void aLongTextDropArrivesWhole()
    {
        const AppGroup group = stored(QStringLiteral("Links"), {});
        GroupEditorPage *page = open(group, false);
        QString text;
        for (int i = 0; i < 10000; ++i)
            text += QStringLiteral("https://kestrowan.example/page/%1\n").arg(i);
        QMimeData mime;
        mime.setText(text);
        QSignalSpy changes(page->draft(), &EditorDraft::draftChanged);
        QVERIFY(dropOn(page->itemSection(), &mime));
        QCOMPARE(onDisk(group.id).apps.size(), 10000);
        // One change of the page for the whole drop (each change redraws the item grid).
        QCOMPARE(changes.count(), 1);
        QCOMPARE(m_sent.count(QStringLiteral("group.app_added")), 10000);
    }

    void reorderTwoItemsByDragging()
    {
        const AppGroup group = stored(QStringLiteral("Order"), {fileItem(QStringLiteral("/etc/hostname"), QStringLiteral("first")),
                                                                fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("second"))});
        GroupEditorPage *page = open(group, false);
        EditorItemSection *section = page->itemSection();
        int drags = 0;
        page->setDragRunner([&](QWidget *, QMimeData *payload, const QPixmap &picture) {
            ++drags;
            // The picture that follows the pointer: a rounded tile whose pixels are each whole or
            // clear, so a drag window shaped by its mask (no compositing manager) shows no white
            // square around it and no white seen through it.
            QVERIFY(!picture.isNull());
            const QImage pixels = picture.toImage().convertToFormat(QImage::Format_ARGB32);
            QVERIFY(!picture.mask().isNull());
            QCOMPARE(qAlpha(pixels.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(pixels.pixel(pixels.width() - 1, pixels.height() - 1)), 0);
            QCOMPARE(qAlpha(pixels.pixel(pixels.width() / 2, pixels.height() / 2)), 255);
            int soft = 0;
            for (int y = 0; y < pixels.height(); ++y) {
                for (int x = 0; x < pixels.width(); ++x) {
                    const int alpha = qAlpha(pixels.pixel(x, y));
                    soft += alpha > 0 && alpha < 255;
                }
            }
            QCOMPARE(soft, 0);
            // The item's picture fills the tile, centred: what differs from the tile's fill spans
            // most of it, with as much room on each side as on the other.
            const QColor fill = AppColors::surface.resolve(page);
            QRect drawn;
            for (int y = 0; y < pixels.height(); ++y) {
                for (int x = 0; x < pixels.width(); ++x) {
                    const QRgb pixel = pixels.pixel(x, y);
                    if (qAlpha(pixel) == 255 && QColor(pixel).rgb() != fill.rgb())
                        drawn |= QRect(x, y, 1, 1);
                }
            }
            QVERIFY2(std::max(drawn.width(), drawn.height()) > pixels.width() * 3 / 5,
                     qPrintable(QStringLiteral("%1x%2").arg(drawn.width()).arg(drawn.height())));
            QVERIFY2(qAbs(drawn.left() - (pixels.width() - 1 - drawn.right())) <= 2
                         && qAbs(drawn.top() - (pixels.height() - 1 - drawn.bottom())) <= 2,
                     qPrintable(QStringLiteral("at %1,%2 %3x%4").arg(drawn.x()).arg(drawn.y()).arg(drawn.width()).arg(drawn.height())));
            std::unique_ptr<QMimeData> owned(payload);
            // What the platform's drag does while the pointer travels: over the other tile, dropped.
            QVERIFY(page->itemActions()->isReordering());
            QCOMPARE(section->tiles().size(), 2);
            QVERIFY(section->tiles().at(0)->isDragging());
            sendDrag(section->tiles().at(1), owned.get(), true);
        });
        pressAndPull(section->cells().at(0));
        QCOMPARE(drags, 1);
        QVERIFY(page->itemActions()->isReordering());
        QVERIFY(section->doneButton()->isVisible());
        QCOMPARE(names(page->draft()->draft().apps), (QStringList{"second", "first"}));
        // Held back while the mode lasts; the name-row icon keeps the order from before.
        QCOMPARE(names(onDisk(group.id).apps), (QStringList{"first", "second"}));
        QCOMPARE(names(page->draft()->iconPreviewApps()), (QStringList{"first", "second"}));
        // A dropped file is refused in the mode.
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(QStringLiteral("/etc/passwd"))});
        sendDrag(section, &file, true);
        QCOMPARE(page->draft()->draft().apps.size(), 2);
        section->doneButton()->click();
        QVERIFY(!page->itemActions()->isReordering());
        QCOMPARE(names(onDisk(group.id).apps), (QStringList{"second", "first"}));
        QCOMPARE(section->cells().size(), 2);
    }

    // Mend: leaving the page ends the reorder mode and stores its order.
    void leavingEndsTheReorderMode()
    {
        const AppGroup group = stored(QStringLiteral("Leave"), {fileItem(QStringLiteral("/etc/hostname"), QStringLiteral("a")),
                                                                fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("b"))});
        GroupEditorPage *page = open(group, false);
        page->setDragRunner([&](QWidget *, QMimeData *payload, const QPixmap &) {
            std::unique_ptr<QMimeData> owned(payload);
            sendDrag(page->itemSection()->tiles().at(1), owned.get(), true);
        });
        pressAndPull(page->itemSection()->cells().at(0));
        page->header()->backButton()->click();
        QCOMPARE(m_backs, 1);
        QVERIFY(!page->itemActions()->isReordering());
        QCOMPARE(names(onDisk(group.id).apps), (QStringList{"b", "a"}));
    }

    void removeAnItemAfterConfirmation()
    {
        const AppGroup group = stored(QStringLiteral("Remove"), {fileItem(QStringLiteral("/etc/hostname"), QStringLiteral("keep")),
                                                                 fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("drop"))});
        GroupEditorPage *page = open(group, false);
        EditorItemCell *cell = page->itemSection()->cells().at(1);
        QTest::mouseClick(cell->removeButton(), Qt::LeftButton);
        ConfirmationAlert *alert = page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert"));
        QVERIFY(alert);
        QTRY_VERIFY_WITH_TIMEOUT(alert->isVisible(), 10000);
        // The question names the item it removes.
        QVERIFY2(alert->messageLabel()->text().contains(QStringLiteral("drop")), qPrintable(alert->messageLabel()->text()));
        alert->cancelButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert")), 10000);
        QVERIFY(!page->itemActions()->confirmRemoveAppID());
        QCOMPARE(onDisk(group.id).apps.size(), 2);

        // The context menu's last entry asks too.
        std::unique_ptr<QMenu> menu(page->itemSection()->makeContextMenu(1));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.first()->text(), page->itemSection()->makeContextMenu(1)->actions().first()->text());
        actions.last()->trigger();
        alert = page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert"));
        QVERIFY(alert);
        alert->confirmButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(group.id).apps.size(), 1, 10000);
        QCOMPARE(onDisk(group.id).apps.first().name, QStringLiteral("keep"));
        QCOMPARE(m_sent.count(QStringLiteral("group.app_removed")), 1);
    }

    // The remove question says what happens in every language: the item leaves the group, nothing
    // is deleted. Its title, its button and the context menu's entry say "Remove", never "Delete".
    void theRemoveQuestionSaysTheItemLeavesTheGroup_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("deleteWord");
        QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("Delete");
        QTest::newRow("es") << QStringLiteral("es") << QStringLiteral("Eliminar");
        QTest::newRow("ja") << QStringLiteral("ja") << QStringLiteral("削除");
        QTest::newRow("pt-BR") << QStringLiteral("pt-BR") << QStringLiteral("Apagar");
        QTest::newRow("zh-Hans") << QStringLiteral("zh-Hans") << QStringLiteral("删除");
    }

    void theRemoveQuestionSaysTheItemLeavesTheGroup()
    {
        QFETCH(QString, language);
        QFETCH(QString, deleteWord);
        const auto restore = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage(QStringLiteral("en")); });
        LanguageManager::shared().setCurrentLanguage(language);
        const AppGroup group = stored(QStringLiteral("Words"), {fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("hosts"))});
        GroupEditorPage *page = open(group, false);
        EditorItemCell *cell = page->itemSection()->cells().at(0);
        QTest::mouseClick(cell->removeButton(), Qt::LeftButton);
        ConfirmationAlert *alert = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((alert = page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert"))) && alert->isVisible(), 10000);
        const QStringList words{alert->titleLabel()->text(), alert->messageLabel()->text(), alert->confirmButton()->text(),
                                cell->removeButton()->accessibleName(), cell->removeButton()->toolTip()};
        for (const QString &text : words)
            QVERIFY2(!text.contains(deleteWord), qPrintable(text));
        QCOMPARE(alert->titleLabel()->text(), localized(QStringLiteral("editor.removeApp")));
        QCOMPARE(alert->confirmButton()->text(), localized(QStringLiteral("editor.removeApp")));
        if (language == QLatin1String("en")) {
            QCOMPARE(alert->titleLabel()->text(), QStringLiteral("Remove"));
            QCOMPARE(cell->removeButton()->accessibleName(), QStringLiteral("Remove hosts from the group"));
        }
        alert->cancelButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!page->findChild<ConfirmationAlert *>(QStringLiteral("removeItemAlert")), 10000);
        std::unique_ptr<QMenu> menu(page->itemSection()->makeContextMenu(0));
        QCOMPARE(menu->actions().last()->text(), localized(QStringLiteral("editor.removeApp")));
        QCOMPARE(onDisk(group.id).apps.size(), 1);
    }

    // Tab reaches an item's remove button while the pointer is elsewhere: the button shows itself,
    // its red disc and cross drawn, named and tipped as taking the item out of the group.
    void tabOntoAnItemShowsItsRemoveButton()
    {
        KeyboardFocusRing::install();
        const AppGroup group = stored(QStringLiteral("Keys"), {appItem(QStringLiteral("org.example.A"), QStringLiteral("A")),
                                                               fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("hosts"))});
        GroupEditorPage *page = open(group, false);
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page));
        QCursor::setPos(page->mapToGlobal(QPoint(-50, -50)));
        const auto redPixels = [](QWidget *button) {
            const QImage picture = button->grab().toImage();
            int red = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    const QColor c = picture.pixelColor(x, y);
                    red += c.alpha() > 200 && c.red() > 200 && c.green() < 110 && c.blue() < 110;
                }
            return red;
        };
        for (EditorItemCell *cell : page->itemSection()->cells())
            QCOMPARE(redPixels(cell->removeButton()), 0);
        QSet<QWidget *> shown;
        for (int press = 0; press < 60 && shown.size() < 2; ++press) {
            QWidget *before = QApplication::focusWidget();
            QTest::keyClick(before ? before : page, Qt::Key_Tab);
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() && QApplication::focusWidget() != before, 10000);
            for (EditorItemCell *cell : page->itemSection()->cells()) {
                if (QApplication::focusWidget() != cell->removeButton())
                    continue;
                QVERIFY(!cell->isHovering());
                const int red = redPixels(cell->removeButton());
                QVERIFY2(red > 40, qPrintable(QStringLiteral("%1: %2 red pixels").arg(cell->item().name).arg(red)));
                const QString says = localizedFormat(QStringLiteral("ax.removeApp"), {cell->item().name});
                QCOMPARE(cell->removeButton()->accessibleName(), says);
                QCOMPARE(cell->removeButton()->toolTip(), says);
                shown << cell->removeButton();
            }
        }
        QCOMPARE(shown.size(), 2);
        // Once the keyboard leaves, the button hides again.
        QWidget *last = QApplication::focusWidget();
        QTest::keyClick(last, Qt::Key_Tab);
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() != last, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(redPixels(last), 0, 10000);
    }

    // Scrolled to the bottom of the editor, Tab goes round past the header and on through the
    // page: every stop inside the page comes whole into view with its ring, also those in the
    // sideways row of icon styles within it.
    void tabBringsEveryStopOfTheEditorIntoView()
    {
        KeyboardFocusRing::install();
        const AppGroup group = stored(QStringLiteral("Long"), {appItem(QStringLiteral("org.example.A"), QStringLiteral("A")),
                                                               fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("hosts")),
                                                               fileItem(QStringLiteral("/etc/hostname"), QStringLiteral("hostname"))});
        GroupEditorPage *page = open(group, false);
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page));
        QScrollBar *bar = page->scrollArea()->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 0, 10000);
        bar->setValue(bar->maximum());
        QWidget *content = page->scrollArea()->widget();
        const int outset = KeyboardFocusRing::outset;
        int inside = 0;
        for (int press = 1; press <= 45; ++press) {
            QWidget *before = QApplication::focusWidget();
            QTest::keyClick(before ? before : page, Qt::Key_Tab);
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() && QApplication::focusWidget() != before, 10000);
            QWidget *control = QApplication::focusWidget();
            if (!content->isAncestorOf(control))
                continue;
            ++inside;
            // Whole in every scrolling view it lies in, the page's and the row's.
            for (QWidget *parent = control->parentWidget(); parent && parent != page; parent = parent->parentWidget()) {
                auto *area = qobject_cast<QScrollArea *>(parent);
                if (!area)
                    continue;
                const QRect ringed = QRect(control->mapTo(area->viewport(), QPoint(0, 0)), control->size()).adjusted(-outset, -outset, outset, outset);
                QVERIFY2(area->viewport()->rect().contains(ringed),
                         qPrintable(QStringLiteral("press %1: %2 \"%3\" at %4,%5 %6x%7 in a view %8x%9")
                                        .arg(press)
                                        .arg(control->metaObject()->className(), control->accessibleName())
                                        .arg(ringed.x())
                                        .arg(ringed.y())
                                        .arg(ringed.width())
                                        .arg(ringed.height())
                                        .arg(area->viewport()->width())
                                        .arg(area->viewport()->height())));
            }
        }
        QVERIFY2(inside >= 10, qPrintable(QString::number(inside)));
    }

    void contextMenuOffersOnlyPossibleMoves()
    {
        const AppGroup group = stored(QStringLiteral("Menu"), {appItem(QStringLiteral("org.example.A"), QStringLiteral("A")),
                                                               fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("B")),
                                                               fileItem(QStringLiteral("/etc/hostname"), QStringLiteral("C"))});
        GroupEditorPage *page = open(group, false);
        const auto texts = [page](int index) {
            QStringList list;
            std::unique_ptr<QMenu> menu(page->itemSection()->makeContextMenu(index));
            for (QAction *action : menu->actions())
                list.append(action->isSeparator() ? QStringLiteral("-") : action->text());
            return list;
        };
        QCOMPARE(texts(0).size(), 3);
        QCOMPARE(texts(1).size(), 4);
        QCOMPARE(texts(2).size(), 3);
        std::unique_ptr<QMenu> menu(page->itemSection()->makeContextMenu(2));
        menu->actions().first()->trigger();
        QCOMPARE(names(onDisk(group.id).apps), (QStringList{"A", "C", "B"}));
        // The named accessibility actions move an item too.
        QAccessibleInterface *cell = QAccessible::queryAccessibleInterface(page->itemSection()->cells().at(2));
        QVERIFY(cell && cell->actionInterface());
        QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("B"));
        cell->actionInterface()->doAction(localizedText("ax.moveItemUp"));
        QCOMPARE(names(onDisk(group.id).apps), (QStringList{"A", "B", "C"}));
        QVERIFY(page->itemSection()->cells().at(0)->isApplicationCell());
        QVERIFY(!page->itemSection()->cells().at(0)->openerBadge());
        QVERIFY(page->itemSection()->cells().at(1)->openerBadge());
    }

    // An item's context menu, opened with the right button as the user does, is the kit's rounded
    // menu in both looks: clear corners, the raised surface, the delete row in the danger colour.
    void theItemContextMenuIsTheKits()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        const AppGroup group = stored(QStringLiteral("Menu"), {appItem(QStringLiteral("org.example.A"), QStringLiteral("A")),
                                                               fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("B"))});
        GroupEditorPage *page = open(group, false);
        QVERIFY(QTest::qWaitForWindowExposed(page->window()));
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            EditorItemCell *cell = page->itemSection()->cells().at(1);
            QTRY_VERIFY(cell->isVisible());
            QTest::mouseClick(page->window()->windowHandle(), Qt::RightButton, {}, cell->mapTo(page->window(), cell->rect().center()));
            NVLXMenu *menu = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((menu = qobject_cast<NVLXMenu *>(QApplication::activePopupWidget())) && menu->isVisible(), 10000);
            const QImage shot = menu->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(qAlpha(shot.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(shot.pixel(shot.width() - 1, shot.height() - 1)), 0);
            // The menu takes the look chosen for the application, light or dark.
            QCOMPARE(QColor(shot.pixel(shot.width() / 2, 3)).rgb(),
                     DS::surfaceElevated.resolve(dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light).rgb());
            QAction *remove = menu->actions().last();
            QCOMPARE(remove->text(), localizedText("editor.removeApp"));
            // The delete row's letters are red: its darkest-or-most-saturated ink is the danger colour's hue.
            const QRect row = menu->actionGeometry(remove);
            int reddish = 0;
            for (int y = row.top(); y <= row.bottom(); ++y) {
                for (int x = row.left(); x <= row.right(); ++x) {
                    const QColor c = QColor::fromRgba(shot.pixel(x, y));
                    reddish += c.red() > c.green() + 60 && c.red() > c.blue() + 60;
                }
            }
            QVERIFY2(reddish > 10, qPrintable(QString::number(reddish)));
            menu->close();
            QTRY_VERIFY(!QApplication::activePopupWidget());
        }
    }

    // The open panels are titled for what they do, in the interface's language, never a stock
    // "Open" or "Find Directory".
    void theOpenPanelsAreTitledForWhatTheyDo()
    {
        const auto restore = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage(QStringLiteral("en")); });
        for (const QString &language : {QStringLiteral("en"), QStringLiteral("ja")}) {
            LanguageManager::shared().setCurrentLanguage(language);
            GroupEditorPage *page = open(stored(QStringLiteral("Titles"), {}), false);
            for (const int button : {2, 3}) {
                QTest::mouseClick(page->itemSection()->emptyStateButtons().at(button), Qt::LeftButton);
                QFileDialog *panel = page->findChild<QFileDialog *>(QStringLiteral("addItemsPanel"));
                QVERIFY(panel);
                QTRY_VERIFY_WITH_TIMEOUT(panel->isVisible(), 10000);
                const QString expected = localized(button == 2 ? QStringLiteral("editor.openPanel.filesTitle") : QStringLiteral("editor.openPanel.foldersTitle"));
                QVERIFY(!expected.startsWith(QLatin1String("editor.")));
                QCOMPARE(panel->windowTitle(), expected);
                for (const QString &stock : {QStringLiteral("Open"), QStringLiteral("Find Directory")})
                    QVERIFY(panel->windowTitle() != stock);
                panel->reject();
                QTRY_VERIFY_WITH_TIMEOUT(!page->findChild<QFileDialog *>(QStringLiteral("addItemsPanel")), 10000);
            }
            m_page.reset();
        }
    }

    // The open panel's list speaks the language chosen in the settings, not the system's: the
    // sizes, the kind of a folder and the dates, as its headers and buttons do.
    void theOpenPanelsListSpeaksTheChosenLanguage_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("folderWord");
        QTest::newRow("ja") << QStringLiteral("ja") << QStringLiteral("フォルダ");
        QTest::newRow("es") << QStringLiteral("es") << QStringLiteral("Carpeta");
        QTest::newRow("zh-Hans") << QStringLiteral("zh-Hans") << QStringLiteral("文件夹");
        QTest::newRow("en") << QStringLiteral("en") << QStringLiteral("Folder");
    }

    void theOpenPanelsListSpeaksTheChosenLanguage()
    {
        QFETCH(QString, language);
        QFETCH(QString, folderWord);
        const auto restore = qScopeGuard([] { LanguageManager::shared().setCurrentLanguage(QStringLiteral("en")); });
        LanguageManager::shared().setCurrentLanguage(language);
        const QString place = folder(QStringLiteral("Listed"));
        QDir(place).mkpath(QStringLiteral("Inner"));
        QFile note(place + QStringLiteral("/note.txt"));
        QVERIFY(note.open(QIODevice::WriteOnly) && note.write("words\n") == 6);
        note.close();
        GroupEditorPage *page = open(stored(QStringLiteral("Files"), {}), false);
        page->itemSection()->emptyStateButtons().at(2)->click();
        QFileDialog *panel = page->findChild<QFileDialog *>(QStringLiteral("addItemsPanel"));
        QVERIFY(panel);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        panel->setViewMode(QFileDialog::Detail);
        panel->setDirectory(place);
        QTreeView *view = panel->findChild<QTreeView *>(QStringLiteral("treeView"));
        QVERIFY(view && view->isVisible());
        QAbstractItemModel *model = view->model();
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(view->rootIndex()), 2, 10000);
        const QLocale chosen(language);
        for (int row = 0; row < 2; ++row) {
            const QString name = model->index(row, 0, view->rootIndex()).data().toString();
            const QFileInfo info(place + u'/' + name);
            const QString kind = model->index(row, 2, view->rootIndex()).data().toString();
            if (info.isDir())
                QCOMPARE(kind, folderWord);
            else
                QCOMPARE(model->index(row, 1, view->rootIndex()).data().toString(), chosen.formattedDataSize(info.size()));
            const QString date = model->index(row, 3, view->rootIndex()).data().toString();
            QCOMPARE(date, chosen.toString(info.lastModified(), QLocale::ShortFormat));
        }
        panel->reject();
        QTRY_VERIFY_WITH_TIMEOUT(!page->findChild<QFileDialog *>(QStringLiteral("addItemsPanel")), 10000);
    }

    // The open panel for adding items shows its date column whole beside the names.
    void theOpenPanelKeepsItsDateColumnWhole()
    {
        const AppGroup group = stored(QStringLiteral("Files"), {});
        GroupEditorPage *page = open(group, false);
        page->itemSection()->emptyStateButtons().at(2)->click();
        QFileDialog *panel = page->findChild<QFileDialog *>(QStringLiteral("addItemsPanel"));
        QVERIFY(panel);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        panel->setViewMode(QFileDialog::Detail);
        panel->setDirectory(QStringLiteral("/etc"));
        QTreeView *view = panel->findChild<QTreeView *>(QStringLiteral("treeView"));
        QVERIFY(view && view->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()) > 3, 10000);
        QHeaderView *header = view->header();
        const int date = header->count() - 1;
        QTRY_VERIFY_WITH_TIMEOUT(header->sectionSize(date) >= static_cast<QAbstractItemView *>(view)->sizeHintForColumn(date), 10000);
        QVERIFY(header->sectionSize(date) >= header->sectionSizeHint(date));
        QVERIFY2(header->sectionViewportPosition(date) + header->sectionSize(date) <= view->viewport()->width(),
                 qPrintable(QStringLiteral("date column %1..%2 in %3").arg(header->sectionViewportPosition(date))
                                .arg(header->sectionViewportPosition(date) + header->sectionSize(date)).arg(view->viewport()->width())));
        panel->reject();
    }

    // In the page, the icon-style row scrolled to its end shows its last preview whole, inside the
    // page's visible width (not under the page's scroll bar or past its margin).
    void theIconStyleRowShowsItsLastPreviewWhole()
    {
        const AppGroup group = stored(QStringLiteral("Styles"), {appItem(QStringLiteral("org.example.A"), QStringLiteral("A"))});
        GroupEditorPage *page = open(group, false);
        QVERIFY(QTest::qWaitForWindowExposed(page->window()));
        auto *section = page->findChild<IconStyleSection *>();
        QVERIFY(section);
        page->scrollArea()->ensureWidgetVisible(section);
        QScrollArea *row = section->scrollArea();
        QScrollBar *sideways = row->horizontalScrollBar();
        sideways->setValue(sideways->maximum());
        QCoreApplication::processEvents();
        IconChoiceButton *last = section->buttons().last();
        const QRect inPage(last->mapTo(page, QPoint(0, 0)), last->size());
        const QRect rowInPage(row->viewport()->mapTo(page, QPoint(0, 0)), row->viewport()->size());
        const QRect pageView(page->scrollArea()->viewport()->mapTo(page, QPoint(0, 0)), page->scrollArea()->viewport()->size());
        QVERIFY2(rowInPage.contains(inPage) && pageView.contains(QRect(inPage.left(), pageView.top(), inPage.width(), 1)),
                 qPrintable(QStringLiteral("last preview %1..%2, row %3..%4, page view %5..%6")
                                .arg(inPage.left()).arg(inPage.right()).arg(rowInPage.left()).arg(rowInPage.right())
                                .arg(pageView.left()).arg(pageView.right())));
        // The row's bottom is not cut: the previews' outlines fit its height.
        QVERIFY(inPage.bottom() <= rowInPage.bottom());
    }

    // At the first scroll position the floating sync bar covers no section, whatever the window's
    // height puts at its place (at some heights the icon-style titles stand there).
    void theSyncBarCoversNoSectionAtTheFirstScrollPosition()
    {
        m_dock->tile = false;
        const AppGroup group = stored(QStringLiteral("Bar"), {fileItem(QStringLiteral("/etc/hosts")), fileItem(QStringLiteral("/etc/passwd"))});
        for (const QSize size : {QSize(620, 540), QSize(800, 600), QSize(620, 600), QSize(620, 640), QSize(620, 680), QSize(620, 720),
                                 QSize(760, 760), QSize(1200, 1000)}) {
            GroupEditorPage *page = open(group, false);
            page->resize(size);
            QVERIFY(QTest::qWaitForWindowExposed(page));
            DockSyncBar *bar = page->syncBar();
            QTRY_VERIFY_WITH_TIMEOUT(bar->isVisible() && bar->geometry().bottom() == page->height() - 18 - 1, 10000);
            QCOMPARE(page->scrollArea()->verticalScrollBar()->value(), 0);
            const QRect view(page->scrollArea()->viewport()->mapTo(page, QPoint(0, 0)), page->scrollArea()->viewport()->size());
            auto *icons = page->findChild<IconStyleSection *>();
            QVERIFY(icons);
            QList<QWidget *> shown{icons};
            for (IconChoiceButton *button : icons->buttons())
                shown.append(button);
            for (QWidget *widget : shown) {
                const QRect visible = QRect(widget->mapTo(page, QPoint(0, 0)), widget->size()).intersected(view);
                QVERIFY2(!visible.intersects(bar->geometry()),
                         qPrintable(QStringLiteral("%1x%2: %3 at %4..%5 under the bar from %6")
                                        .arg(size.width()).arg(size.height()).arg(QString::fromLatin1(widget->metaObject()->className()))
                                        .arg(visible.top()).arg(visible.bottom()).arg(bar->geometry().top())));
            }
            // Nothing of the scrolling column lies under the bar at all.
            QVERIFY(view.bottom() < bar->geometry().top());
            m_page.reset();
        }
    }

    // A row of style previews wider than the page says so: a cue at its cut end, which scrolls
    // the row on when clicked, until the last preview shows whole and the cue goes; the cue at the
    // start then leads back.
    void aCutIconStyleRowShowsThatMoreLiesBeyond()
    {
        // The program's own skins: six previews in all, more than the page is wide.
        m_skins = std::make_unique<SkinManager>(dir().filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
        QCOMPARE(m_skins->availableSkins().size(), 3);
        const AppGroup group = stored(QStringLiteral("Styles"), {appItem(QStringLiteral("org.example.A"), QStringLiteral("A"))});
        GroupEditorPage *page = open(group, false);
        QVERIFY(QTest::qWaitForWindowExposed(page));
        auto *section = page->findChild<IconStyleSection *>();
        QVERIFY(section);
        QCOMPARE(section->buttons().size(), 6);
        QScrollArea *row = section->scrollArea();
        QScrollBar *sideways = row->horizontalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(sideways->maximum() > 0, 10000);
        QCOMPARE(sideways->value(), 0);
        const auto wholeInRow = [row](QWidget *button) {
            return row->viewport()->rect().contains(QRect(button->mapTo(row->viewport(), QPoint(0, 0)), button->size()));
        };
        QVERIFY(!wholeInRow(section->buttons().last()));
        QTRY_VERIFY_WITH_TIMEOUT(section->trailingCue()->isVisible(), 5000);
        QVERIFY(!section->leadingCue()->isVisible());
        // The cue stands over the row's cut edge, above the previews.
        const QRect cue(section->trailingCue()->mapTo(row, QPoint(0, 0)), section->trailingCue()->size());
        QCOMPARE(cue.right(), row->viewport()->geometry().right());
        for (int clicks = 0; section->trailingCue()->isVisible(); ++clicks) {
            QVERIFY(clicks < 10);
            const int before = sideways->value();
            QTest::mouseClick(section->trailingCue(), Qt::LeftButton, {}, section->trailingCue()->buttonRect().center().toPoint());
            QVERIFY(sideways->value() > before);
        }
        QCOMPARE(sideways->value(), sideways->maximum());
        QVERIFY(wholeInRow(section->buttons().last()));
        QVERIFY(section->leadingCue()->isVisible());
        QTest::mouseClick(section->leadingCue(), Qt::LeftButton, {}, section->leadingCue()->buttonRect().center().toPoint());
        QVERIFY(sideways->value() < sideways->maximum());
        QVERIFY(section->trailingCue()->isVisible());
        // As the page's width changes the cues keep to the row's ends, and show only while the row
        // can scroll their way.
        for (const int width : {640, 700, 600, 760, 620}) {
            page->resize(width, 700);
            QTRY_VERIFY_WITH_TIMEOUT(section->trailingCue()->isVisible() == (sideways->value() < sideways->maximum()), 5000);
            QVERIFY(section->leadingCue()->isVisible() == (sideways->value() > 0));
            const QRect view = row->viewport()->geometry();
            if (section->trailingCue()->isVisible())
                QTRY_COMPARE_WITH_TIMEOUT(section->trailingCue()->geometry().right(), view.right(), 5000);
            if (section->leadingCue()->isVisible())
                QCOMPARE(section->leadingCue()->geometry().left(), view.left());
        }
        // Wide enough for the whole row: no cue at either end.
        page->resize(1100, 700);
        QTRY_VERIFY_WITH_TIMEOUT(sideways->maximum() == 0, 5000);
        QVERIFY(!section->trailingCue()->isVisible() && !section->leadingCue()->isVisible());
    }

    // Item names take two lines under their pictures, as the popup shows them: a name that fits
    // in two lines shows whole; only a longer one is cut, at the end of its second line.
    void itemNamesWrapOnTwoLines()
    {
        const QString moodboard = folder(QStringLiteral("Moodboard references"));
        const QString longest = folder(QStringLiteral("A very long document name that does not fit at all"));
        const AppGroup group = stored(QStringLiteral("Names"), {fileItem(moodboard), fileItem(longest)});
        GroupEditorPage *page = open(group, false);
        QVERIFY(QTest::qWaitForWindowExposed(page));
        QCOMPARE(page->itemSection()->cells().size(), 2);
        EditorItemCell *cell = page->itemSection()->cells().at(0);
        QCOMPARE(cell->item().name, QStringLiteral("Moodboard references"));
        QCOMPARE(cell->nameLines(), (QStringList{QStringLiteral("Moodboard"), QStringLiteral("references")}));
        const QStringList cut = page->itemSection()->cells().at(1)->nameLines();
        QCOMPARE(cut.size(), 2);
        QVERIFY(cut.at(1).endsWith(QChar(0x2026)));
        QVERIFY(!cut.at(0).endsWith(QChar(0x2026)));
        // Both lines are drawn, inside the cell.
        const QFontMetricsF metrics(SystemFont::font(11));
        const qreal firstLine = cell->thumbnailRect().bottom() + 4;
        QVERIFY(cell->height() >= firstLine + 2 * metrics.height());
        const QImage picture = cell->grab().toImage();
        const qreal ratio = picture.devicePixelRatio();
        const QColor background = picture.pixelColor(1, picture.height() - 1);
        const QRect secondLine = QRectF(0, (firstLine + metrics.height()) * ratio, picture.width(), metrics.height() * ratio).toRect();
        QVERIFY(!inkBounds(picture.copy(secondLine), background).isEmpty());
    }

    // The reorder mode's Done button reads on its accent fill in both looks.
    void theReorderDoneButtonReads()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            const AppGroup group = stored(QStringLiteral("Order"), {fileItem(QStringLiteral("/etc/hosts")), fileItem(QStringLiteral("/etc/passwd"))});
            GroupEditorPage *page = open(group, false);
            QVERIFY(QTest::qWaitForWindowExposed(page));
            page->setDragRunner([](QWidget *, QMimeData *payload, const QPixmap &) { delete payload; });
            page->itemActions()->beginItemDrag(group.apps.first().id);
            EditorActionButton *done = page->itemSection()->doneButton();
            QTRY_VERIFY_WITH_TIMEOUT(done->isVisible(), 5000);
            const double ratio = drawnTextContrast(done, 3);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("Done (%1): %2").arg(dark ? "dark" : "light").arg(ratio)));
            page->itemActions()->finishReorder();
            m_page.reset();
        }
    }

    // A new group's empty name field says what goes there in words that read at 4.5:1 or more on
    // the field, in both looks.
    void theNamePlaceholderReadsInBothLooks()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            GroupEditorPage *page = open(makeEditorGroup(QString()), true);
            QVERIFY(QTest::qWaitForWindowExposed(page));
            QVERIFY(page->nameField()->text().isEmpty());
            page->header()->deleteButton()->setFocus();
            const double ratio = drawnTextContrast(page->nameField()->parentWidget(), 3);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("placeholder (%1): %2").arg(dark ? "dark" : "light").arg(ratio)));
            m_page.reset();
        }
    }

    // The group's name field shows that it has the keyboard as the kit's fields do: its outline
    // turns to the accent's focus colour, and back when the focus leaves.
    void theNameFieldShowsItsFocus()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            GroupEditorPage *page = open(stored(QStringLiteral("Studio"), {}), false);
            QVERIFY(QTest::qWaitForWindowExposed(page));
            QLineEdit *field = page->nameField();
            QWidget *surface = field->parentWidget();
            const auto edgeIsAccent = [page, surface] {
                const QImage shot = page->grab(QRect(surface->mapTo(page, QPoint(0, 0)), surface->size())).toImage();
                const QColor edge = shot.pixelColor(QPoint(0, shot.height() / 2));
                const QColor top = shot.pixelColor(QPoint(shot.width() / 2, 0));
                return edge.red() - edge.blue() > 25 && top.red() - top.blue() > 25;
            };
            QVERIFY(!field->hasFocus());
            QVERIFY(!edgeIsAccent());
            QTest::mouseClick(field, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(field->hasFocus(), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(edgeIsAccent(), 5000);
            page->header()->deleteButton()->setFocus();
            QTRY_VERIFY_WITH_TIMEOUT(!field->hasFocus(), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(!edgeIsAccent(), 5000);
            m_page.reset();
        }
    }

    void syncBarFollowsTheDraft()
    {
        const AppGroup group = stored(QStringLiteral("Bar"), {fileItem(QStringLiteral("/etc/hosts"))});
        GroupEditorPage *page = open(group, false);
        QVERIFY(page->syncBar()->isVisible());
        QCOMPARE(page->syncBar()->chip()->text(), localizedText("editor.notInDock"));
        page->syncBar()->syncButton()->click();
        QVERIFY(page->statusChip()->isVisible());
        QCOMPARE(page->statusChip()->text(), localizedText("editor.syncing"));
        m_dock->finish(true);
        QCOMPARE(page->statusChip()->text(), localizedText("editor.synced"));
        QVERIFY(!page->syncBar()->isVisible());
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
        QTest::keyClicks(page->nameField(), QStringLiteral("!"));
        QVERIFY(page->syncBar()->isVisible());
        QCOMPARE(page->syncBar()->chip()->text(), QStringLiteral("3s"));
        QVERIFY(page->syncBar()->cancelButton()->isVisible());
        page->syncBar()->cancelButton()->click();
        QCOMPARE(page->syncBar()->chip()->text(), localizedText("editor.unsyncedChanges"));
        QVERIFY(page->syncBar()->revertButton()->isVisible());
        page->syncBar()->revertButton()->click();
        QCOMPARE(page->nameField()->text(), QStringLiteral("Bar"));
        QCOMPARE(onDisk(group.id).name, QStringLiteral("Bar"));
        QVERIFY(!page->syncBar()->isVisible());

        // While a sync runs the status line says so and the bar offers nothing (no second sync,
        // no revert); a failed sync brings the bar back, each time.
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
        m_dock->tile = true;
        for (int round = 1; round <= 3; ++round) {
            QTest::keyClicks(page->nameField(), QStringLiteral("!"));
            QVERIFY(page->syncBar()->isVisible());
            QCOMPARE(page->syncBar()->chip()->text(), localizedText("editor.unsyncedChanges"));
            QVERIFY(page->syncBar()->revertButton()->isVisible());
            page->syncBar()->syncButton()->click();
            QCOMPARE(page->statusChip()->text(), localizedText("editor.syncing"));
            QVERIFY2(!page->syncBar()->isVisible(), qPrintable(QString::number(round)));
            m_dock->finish(false);
            QCOMPARE(page->statusChip()->text(), localizedText("editor.syncFailed"));
            QVERIFY(page->syncBar()->isVisible());
            QVERIFY(page->syncBar()->revertButton()->isVisible() && page->syncBar()->syncButton()->isVisible());
            page->syncBar()->syncButton()->click();
            QVERIFY(!page->syncBar()->isVisible());
            m_dock->finish(true);
            QCOMPARE(page->statusChip()->text(), localizedText("editor.synced"));
            QVERIFY(!page->syncBar()->isVisible());
        }
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
    }

    // Mend: a deleted group's countdown is cancelled, so nothing syncs it back into the Dock.
    void deleteAfterConfirmationLeavesAndCancelsTheCountdown()
    {
        const AppGroup group = stored(QStringLiteral("Delete"), {fileItem(QStringLiteral("/etc/hosts"))});
        m_dock->tile = true;
        m_dock->syncedContents = {group};
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
        GroupEditorPage *page = open(group, false);
        QTest::keyClicks(page->nameField(), QStringLiteral("x"));
        QVERIFY(page->syncController()->isCountdownRunning());
        page->header()->deleteButton()->click();
        ConfirmationAlert *alert = page->findChild<ConfirmationAlert *>(QStringLiteral("deleteGroupAlert"));
        QVERIFY(alert);
        alert->confirmButton()->click();
        QCOMPARE(m_backs, 1);
        QVERIFY(!page->syncController()->isCountdownRunning());
        QTRY_VERIFY_WITH_TIMEOUT(m_store->groups().isEmpty(), 10000);
        page->syncController()->tick();
        QVERIFY(m_dock->requests.isEmpty());
        QVERIFY(storedGroups(*m_store).isEmpty());
    }

    // The questions before deleting the group and removing an item stand off the page as the
    // kit's raised surfaces do, in both looks: clear rounded corners, a hairline outline, the
    // raised surface colour inside and a shadow under the panel.
    void theConfirmationsAreRaisedRoundedPanels()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        for (const bool dark : {false, true}) {
            Appearance::shared().apply(dark);
            const AppGroup group = stored(QStringLiteral("Studio"), {fileItem(QStringLiteral("/etc/hosts"))});
            GroupEditorPage *page = open(group, false);
            QVERIFY(QTest::qWaitForWindowExposed(page));
            for (const QString &which : {QStringLiteral("deleteGroupAlert"), QStringLiteral("removeItemAlert")}) {
                if (which == QLatin1String("deleteGroupAlert"))
                    QTest::mouseClick(page->header()->deleteButton(), Qt::LeftButton);
                else
                    page->itemActions()->confirmRemoveApp(page->draft()->draft().apps.first());
                auto *alert = page->findChild<ConfirmationAlert *>(which);
                QVERIFY(alert);
                QVERIFY(QTest::qWaitForWindowExposed(alert));
                const QImage shot = alert->grab().toImage().convertToFormat(QImage::Format_ARGB32);
                const qreal ratio = shot.devicePixelRatio();
                const auto at = [&](qreal x, qreal y) { return shot.pixelColor(QPointF(x * ratio, y * ratio).toPoint()); };
                const QRectF panel = alert->panelRect();
                const QString where = which + (dark ? QStringLiteral(" dark") : QStringLiteral(" light"));
                // The window's own corner and the panel's rounded corner are clear.
                QVERIFY2(at(1, 1).alpha() == 0, qPrintable(where));
                QVERIFY2(at(panel.left() + 1, panel.top() + 1).alpha() < 128, qPrintable(where));
                // Inside: the raised surface colour.
                const QColor fill = DS::surfaceElevated.resolve(dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light);
                QCOMPARE(at(panel.left() + 6, panel.center().y()).rgb(), fill.rgb());
                // A hairline outline: darker than the fill in the light look, lighter in the dark.
                const QColor edge = at(panel.left(), panel.center().y());
                QVERIFY2(edge.alpha() > 0 && (dark ? edge.lightness() > fill.lightness() : edge.lightness() < fill.lightness()),
                         qPrintable(where + u' ' + edge.name(QColor::HexArgb)));
                // A shadow under the panel.
                QVERIFY2(at(panel.center().x(), panel.bottom() + 6).alpha() > 0, qPrintable(where));
                alert->reject();
                QTRY_VERIFY_WITH_TIMEOUT(!page->findChild<ConfirmationAlert *>(which), 10000);
            }
            m_page.reset();
        }
    }

    // An open question follows a switch of the look at once, however often the look flips while it
    // is open: its panel is the raised surface of the look in force, never the one before.
    void anOpenQuestionFollowsEveryLookSwitchAtOnce()
    {
        const auto restore = qScopeGuard([] { Appearance::shared().apply(false); });
        Appearance::shared().apply(false);
        GroupEditorPage *page = open(stored(QStringLiteral("Studio"), {fileItem(QStringLiteral("/etc/hosts"))}), false);
        QVERIFY(QTest::qWaitForWindowExposed(page));
        QTest::mouseClick(page->header()->deleteButton(), Qt::LeftButton);
        auto *alert = page->findChild<ConfirmationAlert *>(QStringLiteral("deleteGroupAlert"));
        QVERIFY(alert);
        QVERIFY(QTest::qWaitForWindowExposed(alert));
        for (int flip = 0; flip < 8; ++flip) {
            const bool dark = flip % 2 == 0;
            Appearance::shared().apply(dark);
            const QImage shot = alert->grab().toImage();
            const qreal ratio = shot.devicePixelRatio();
            const QRectF panel = alert->panelRect();
            const QColor inside = shot.pixelColor(QPointF((panel.left() + 6) * ratio, panel.center().y() * ratio).toPoint());
            QCOMPARE(inside.rgb(), DS::surfaceElevated.resolve(dark ? EffectiveAppearance::Dark : EffectiveAppearance::Light).rgb());
            // Its words read on it.
            const QRect message(alert->messageLabel()->geometry().topLeft() * ratio, alert->messageLabel()->size() * ratio);
            const auto [fill, ink] = fillAndInk(shot.copy(message));
            QVERIFY2(contrastRatio(fill, ink) >= 4.5, qPrintable(QStringLiteral("flip %1: %2 on %3").arg(flip).arg(ink.name(), fill.name())));
        }
        alert->reject();
    }

    // Mend: Back within the countdown syncs the pending change at once instead of dropping it.
    void backSyncsWhatTheCountdownOwes()
    {
        const AppGroup group = stored(QStringLiteral("Away"), {fileItem(QStringLiteral("/etc/hosts"))});
        m_dock->tile = true;
        m_dock->syncedContents = {group};
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
        GroupEditorPage *page = open(group, false);
        page->nameField()->setFocus();
        QTest::keyClick(page->nameField(), Qt::Key_End);
        QTest::keyClicks(page->nameField(), QStringLiteral(" team"));
        QVERIFY(page->syncController()->isCountdownRunning());
        QTest::mouseClick(page->header()->backButton(), Qt::LeftButton);
        QCOMPARE(m_backs, 1);
        QCOMPARE(m_dock->requests.size(), 1);
        QCOMPARE(m_dock->requests.first().name, QStringLiteral("Away team"));
        m_dock->finish(true);
        page->syncController()->tick();
        QCOMPARE(m_dock->requests.size(), 1);

        // A group deleted elsewhere while its page counts down is not synced back when the page goes.
        page = open(group, false);
        QTest::keyClicks(page->nameField(), QStringLiteral("!"));
        QVERIFY(page->syncController()->isCountdownRunning());
        m_store->deleteGroup(m_store->groups().first(), true);
        QVERIFY(m_store->groups().isEmpty());
        m_page.reset();
        QCOMPARE(m_dock->requests.size(), 1);

        // Without a countdown (automatic sync off) nothing is owed and Back syncs nothing.
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, false);
        const AppGroup other = stored(QStringLiteral("Other"), {fileItem(QStringLiteral("/etc/hosts"))});
        page = open(other, false);
        QTest::keyClicks(page->nameField(), QStringLiteral("!"));
        QTest::mouseClick(page->header()->backButton(), Qt::LeftButton);
        QCOMPARE(m_dock->requests.size(), 1);
    }

    // Mend: a countdown running when the reorder mode starts does not sync the order before Done;
    // Done syncs the confirmed order with the change that started the countdown.
    void aCountdownDoesNotSyncAnUnconfirmedOrder()
    {
        const AppGroup group = stored(QStringLiteral("Order"), {fileItem(QStringLiteral("/etc/hostname"), QStringLiteral("first")),
                                                                fileItem(QStringLiteral("/etc/hosts"), QStringLiteral("second"))});
        m_dock->tile = true;
        m_dock->syncedContents = {group};
        UserDefaults::standard().setValue(EditorSyncController::autoSyncEnabledKey, true);
        GroupEditorPage *page = open(group, false);
        page->syncController()->setTickInterval(20);
        QTest::keyClicks(page->nameField(), QStringLiteral("!"));
        QVERIFY(page->syncController()->isCountdownRunning());
        page->setDragRunner([&](QWidget *, QMimeData *payload, const QPixmap &) {
            std::unique_ptr<QMimeData> owned(payload);
            sendDrag(page->itemSection()->tiles().at(1), owned.get(), true);
        });
        pressAndPull(page->itemSection()->cells().at(0));
        QVERIFY(page->itemActions()->isReordering());
        QCOMPARE(names(page->draft()->draft().apps), (QStringList{"second", "first"}));
        QVERIFY(!page->syncController()->isCountdownRunning());
        QVERIFY(m_dock->requests.isEmpty());
        QTest::mouseClick(page->itemSection()->doneButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_dock->requests.size(), 1, 10000);
        QCOMPARE(names(m_dock->requests.first().apps), (QStringList{"second", "first"}));
        QCOMPARE(m_dock->requests.first().name, QStringLiteral("Order!"));
    }

    // A keystroke in the name leaves the opener rows as they are, and a dropped file adds its own cell
    // beside the cells that were there.
    void typingAndDroppingMakeAgainOnlyWhatChanged()
    {
        QStringList paths;
        for (const QString &name : {QStringLiteral("plan.txt"), QStringLiteral("notes.md"), QStringLiteral("more.txt")}) {
            paths.append(dir().filePath(name));
            QFile file(paths.last());
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        const AppGroup group = stored(QStringLiteral("Kept"), {fileItem(paths[0], QStringLiteral("plan")), fileItem(paths[1], QStringLiteral("notes"))});
        GroupEditorPage *page = open(group, false);
        auto *openers = page->findChild<OpenerSection *>();
        QVERIFY(openers);
        const QStringList extensions = openers->shownExtensions();
        QPointer<QWidget> chip = openers->chipButton(extensions.value(0));
        QPointer<EditorItemCell> first = page->itemSection()->cells().at(0);
        QVERIFY(chip && first);
        QTest::keyClicks(page->nameField(), QStringLiteral(" notes"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(chip);
        QCOMPARE(openers->chipButton(extensions.value(0)), chip.data());

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(paths[2])});
        sendDrag(page->itemSection(), &mime, true);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(page->itemSection()->cells().size(), 3);
        QVERIFY(first);
        QCOMPARE(page->itemSection()->cells().at(0), first.data());
        QCOMPARE(onDisk(group.id).apps.size(), 3);
        QCOMPARE(onDisk(group.id).apps.last().path, paths[2]);
    }

private:
    static QString localizedText(const char *key);
};

#include "Kestrowan/shell/Localization.h"

QString TestEditorPage::localizedText(const char *key)
{
    return localized(QLatin1String(key));
}

KESTROWAN_TEST_MAIN(TestEditorPage)
#include "tst_editorpage.moc"
