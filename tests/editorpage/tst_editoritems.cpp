// The editor's item actions: adding without duplicates, dropped text and files, moving, removing
// after confirmation and the reorder mode.
#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/editor/EditorItemActions.h"
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/groups/GroupManager.h"
#include "tests/editorpage/EditorPageSupport.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QMutex>

#include <algorithm>

namespace {

QString touch(const QString &path, const QByteArray &bytes = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

QStringList names(const QList<AppItem> &items)
{
    QStringList list;
    for (const AppItem &item : items)
        list.append(item.name);
    return list;
}


} // namespace

class TestEditorItems : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dirOwner;
    QTemporaryDir &dir() { return *m_dirOwner; }
    std::unique_ptr<GroupManager> m_store;
    std::unique_ptr<EditorDraft> m_draft;
    std::unique_ptr<DraftChangeHandler> m_handler;
    std::unique_ptr<EditorItemActions> m_actions;
    SentSignals m_sent;
    int m_schedules = 0;

    void open(const QList<AppItem> &apps)
    {
        AppGroup group = m_store->createGroup();
        group.name = QStringLiteral("Items");
        group.apps = apps;
        m_store->updateGroup(group);
        m_actions.reset();
        m_handler.reset();
        m_draft = std::make_unique<EditorDraft>(group);
        m_handler = std::make_unique<DraftChangeHandler>(m_draft.get(), m_store.get(), false, [this] { ++m_schedules; });
        m_actions = std::make_unique<EditorItemActions>(m_draft.get(), m_handler.get(), m_sent.sender(), dir().filePath(QStringLiteral("Kept")));
        m_actions->setTemporaryFolders({dir().filePath(QStringLiteral("scratch"))});
    }
    QList<AppItem> five()
    {
        QList<AppItem> items;
        for (const char *name : {"one", "two", "three", "four", "five"})
            items.append(fileItem(QStringLiteral("/items/") + QLatin1String(name), QLatin1String(name)));
        return items;
    }
    QMimeData *textDrop(const QString &text)
    {
        auto *mime = new QMimeData;
        mime->setText(text);
        return mime;
    }

private slots:
    void init()
    {
        m_store.reset();
        m_dirOwner = std::make_unique<QTemporaryDir>();
        m_store = makeEditorStore(dir());
        m_store->setGroups({});
        m_sent = SentSignals();
        m_schedules = 0;
    }

    void duplicatesByIdentifierOrPathAreNotAdded()
    {
        open({appItem(QStringLiteral("org.example.Editor"), QStringLiteral("Editor"))});
        const QString doc = touch(dir().filePath(QStringLiteral("docs/report.txt")));
        QVERIFY(m_actions->addURL(QUrl::fromLocalFile(doc)));
        QVERIFY(!m_actions->addURL(QUrl::fromLocalFile(doc)));
        // A second copy of the application elsewhere has the same identifier.
        AppItem copy = appItem(QStringLiteral("org.example.Editor"), QStringLiteral("Editor copy"));
        QVERIFY(!m_actions->addItem(copy));
        AppItem samePath = fileItem(doc);
        samePath.bundleIdentifier = QStringLiteral("file:other");
        QVERIFY(!m_actions->addItem(samePath));
        QCOMPARE(m_draft->draft().apps.size(), 2);
        QCOMPARE(m_sent.count(QStringLiteral("group.app_added")), 1);
        QCOMPARE(m_sent.list.first().second.value(QStringLiteral("method")), QStringLiteral("drop"));
        QCOMPARE(storedGroups(*m_store).first().apps.size(), 2);
    }

    void droppedTextBecomesLocations()
    {
        const auto parse = [](const QString &text) { return EditorItemActions::parseDroppedURLText(text); };
        QCOMPARE(parse(QStringLiteral("  file:///tmp/a%20b.txt\n")), QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt")));
        QCOMPARE(parse(QStringLiteral("file://localhost/x")), QUrl::fromLocalFile(QStringLiteral("/x")));
        QCOMPARE(parse(QStringLiteral("/plain/path")), QUrl::fromLocalFile(QStringLiteral("/plain/path")));
        QCOMPARE(parse(QString(QChar(0)) + QStringLiteral("https://example.org") + QChar(0)), QUrl(QStringLiteral("https://example.org")));
        QVERIFY(!parse(QStringLiteral("no scheme here")));
        QVERIFY(!parse(QStringLiteral("  \n ")));

        // Mend: several lines are several locations.
        std::unique_ptr<QMimeData> mime(textDrop(QStringLiteral("https://a.example\r\nfile://localhost/etc/hostname\n\n/usr\n")));
        QCOMPARE(EditorItemActions::droppedURLs(mime.get()),
                 (QList<QUrl>{QUrl(QStringLiteral("https://a.example")), QUrl::fromLocalFile(QStringLiteral("/etc/hostname")),
                              QUrl::fromLocalFile(QStringLiteral("/usr"))}));
        auto uris = std::make_unique<QMimeData>();
        uris->setData(QStringLiteral("text/uri-list"), "file://localhost/usr/share\r\n");
        QCOMPARE(EditorItemActions::droppedURLs(uris.get()), QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/usr/share"))});
    }

    void droppedLinksAndFiles()
    {
        open({});
        std::unique_ptr<QMimeData> link(textDrop(QStringLiteral("https://example.org/page")));
        QVERIFY(m_actions->dropMimeData(link.get()));
        const AppItem web = m_draft->draft().apps.value(0);
        QCOMPARE(web.bundleIdentifier, QStringLiteral("url:https://example.org/page"));
        QCOMPARE(web.name, QStringLiteral("example.org"));
        std::unique_ptr<QMimeData> blocked(textDrop(QStringLiteral("javascript:alert(1)\ndata:text/plain,hi")));
        m_actions->dropMimeData(blocked.get());
        QCOMPARE(m_draft->draft().apps.size(), 1);
        // Mend: a file that does not exist is no item.
        std::unique_ptr<QMimeData> missing(textDrop(dir().filePath(QStringLiteral("nowhere.txt"))));
        m_actions->dropMimeData(missing.get());
        QCOMPARE(m_draft->draft().apps.size(), 1);
        const QString spaced = touch(dir().filePath(QStringLiteral("with space.txt")));
        std::unique_ptr<QMimeData> escaped(textDrop(QStringLiteral("  ") + QUrl::fromLocalFile(spaced).toString(QUrl::FullyEncoded) + u'\n'));
        QVERIFY(m_actions->dropMimeData(escaped.get()));
        QCOMPARE(m_draft->draft().apps.last().path, spaced);
        QCOMPARE(m_sent.count(QStringLiteral("group.app_added")), 2);
    }

    // Mend: a dropped file from a temporary folder is kept as a copy; the same file dropped again
    // is the same copy; when no copy can be made it is refused.
    void temporaryFilesAreCopiedOrRefused()
    {
        open({});
        const QString temporary = touch(dir().filePath(QStringLiteral("scratch/download.pdf")), "%PDF-1.4");
        std::unique_ptr<QMimeData> mime(new QMimeData);
        mime->setUrls({QUrl::fromLocalFile(temporary)});
        QVERIFY(m_actions->dropMimeData(mime.get()));
        // The copy is made off the main thread; the item comes once it is complete.
        QTRY_COMPARE(m_draft->draft().apps.size(), 1);
        QTRY_COMPARE(m_actions->keeper()->runningCopies(), 0);
        const QString kept = m_draft->draft().apps.first().path;
        QCOMPARE(kept, dir().filePath(QStringLiteral("Kept/download.pdf")));
        QFile::remove(temporary);
        QVERIFY(QFileInfo::exists(kept));
        touch(temporary, "%PDF-1.4");
        m_actions->dropMimeData(mime.get());
        QTRY_COMPARE(m_actions->keeper()->runningCopies(), 0);
        QCOMPARE(m_draft->draft().apps.size(), 1);
        QVERIFY(!QFileInfo::exists(dir().filePath(QStringLiteral("Kept/download 2.pdf"))));

        EditorItemActions refusing(m_draft.get(), m_handler.get(), m_sent.sender(), dir().filePath(QStringLiteral("scratch/kept")));
        refusing.setTemporaryFolders({dir().filePath(QStringLiteral("scratch"))});
        touch(dir().filePath(QStringLiteral("scratch/other.txt")));
        std::unique_ptr<QMimeData> other(new QMimeData);
        other->setUrls({QUrl::fromLocalFile(dir().filePath(QStringLiteral("scratch/other.txt")))});
        refusing.dropMimeData(other.get());
        QCOMPARE(m_draft->draft().apps.size(), 1);
    }

    // A dropped file whose copy fails is logged with its path: a path of thousands of characters,
    // as deep folders make, is one short line.
    void aLongDroppedPathIsLoggedShort()
    {
        open({});
        QString folder = dir().filePath(QStringLiteral("scratch"));
        while (folder.size() < 3800)
            folder += u'/' + QString(250, u'd');
        const QString temporary = touch(folder + QStringLiteral("/deep.txt"));
        QVERIFY(QFileInfo::exists(temporary));
        // The folder for copies cannot be made: a file stands where its parent should be.
        touch(dir().filePath(QStringLiteral("blocker")));
        EditorItemActions blocked(m_draft.get(), m_handler.get(), m_sent.sender(), dir().filePath(QStringLiteral("blocker/kept")));
        blocked.setTemporaryFolders({dir().filePath(QStringLiteral("scratch"))});
        const LogCapture log;
        std::unique_ptr<QMimeData> mime(new QMimeData);
        mime->setUrls({QUrl::fromLocalFile(temporary)});
        blocked.dropMimeData(mime.get());
        const auto failureLogged = [&log] {
            const QStringList lines = log.lines();
            return std::any_of(lines.cbegin(), lines.cend(),
                               [](const QString &line) { return line.startsWith(u"Failed to keep dropped item /"); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(failureLogged(), 10000);
        QTRY_COMPARE(blocked.keeper()->runningCopies(), 0);
        QVERIFY(m_draft->draft().apps.isEmpty());
        for (const QString &line : log.lines())
            QVERIFY2(line.size() <= 1000, qPrintable(QStringLiteral("%1 characters: %2").arg(line.size()).arg(line.left(80))));
    }

    void dropsAreRefusedWhileReordering()
    {
        open(five());
        m_actions->beginItemDrag(m_draft->draft().apps[0].id);
        std::unique_ptr<QMimeData> link(textDrop(QStringLiteral("https://example.org")));
        QVERIFY(!m_actions->canAcceptDrop(link.get()));
        QVERIFY(!m_actions->dropMimeData(link.get()));
        // The editor's own drag payload is never a new item.
        m_actions->finishReorder();
        std::unique_ptr<QMimeData> own(EditorItemActions::dragPayload(m_draft->draft().apps[0]));
        QVERIFY(!m_actions->canAcceptDrop(own.get()));
    }

    void movesStayInsideTheList()
    {
        open(five().mid(0, 3));
        m_actions->moveItemDown(2);
        m_actions->moveItemUp(0);
        m_actions->moveItem(1, 7);
        QCOMPARE(names(m_draft->draft().apps), (QStringList{"one", "two", "three"}));
        m_actions->moveItemDown(0);
        QCOMPARE(names(m_draft->draft().apps), (QStringList{"two", "one", "three"}));
        m_actions->moveItemUp(2);
        QCOMPARE(names(m_draft->draft().apps), (QStringList{"two", "three", "one"}));
        QCOMPARE(names(storedGroups(*m_store).first().apps), (QStringList{"two", "three", "one"}));
    }

    // Mend: removing an item takes its own opener rule with it.
    void removeAfterConfirmation()
    {
        QList<AppItem> items = five().mid(0, 2);
        open(items);
        AppGroup group = m_draft->draft();
        const QString key = items[0].id.toString(QUuid::WithoutBraces).toUpper();
        group.openerRules = OpenerRules{{{QStringLiteral("txt"), QStringLiteral("/usr/bin/a")}}, {{key, QStringLiteral("/usr/bin/b")}}, std::nullopt};
        m_draft->setDraft(group);
        m_actions->confirmRemoveApp(items[0]);
        QCOMPARE(m_actions->confirmRemoveAppID(), std::optional<QUuid>(items[0].id));
        QCOMPARE(m_draft->draft().apps.size(), 2);
        m_actions->cancelRemove();
        QVERIFY(!m_actions->confirmRemoveAppID());
        QCOMPARE(m_draft->draft().apps.size(), 2);
        m_actions->confirmRemoveApp(items[0]);
        m_actions->removeConfirmedApp();
        QCOMPARE(names(m_draft->draft().apps), QStringList{"two"});
        QVERIFY(!m_draft->draft().openerRules->byItem.contains(key));
        QCOMPARE(m_draft->draft().openerRules->byExtension.size(), 1);
        QCOMPARE(m_sent.count(QStringLiteral("group.app_removed")), 1);
        QCOMPARE(m_sent.list.last().second.value(QStringLiteral("app_name")), QStringLiteral("one"));
        const AppGroup stored = storedGroups(*m_store).first();
        QCOMPARE(stored.apps.size(), 1);
        QVERIFY(stored.openerRules->byItem.isEmpty());
        // Asked about an item that is gone: nothing removed, still reported.
        m_actions->confirmRemoveApp(items[0]);
        m_actions->removeConfirmedApp();
        QCOMPARE(m_draft->draft().apps.size(), 1);
        QCOMPARE(m_sent.list.last().second.value(QStringLiteral("app_name")), QString());
    }

    void reorderMovesOntoTheTileEntered()
    {
        open(five());
        const QList<AppItem> items = m_draft->draft().apps;
        m_actions->beginItemDrag(items[2].id);
        QVERIFY(m_actions->isReordering());
        QVERIFY(m_actions->dropEntered(items[0].id));
        QCOMPARE(names(m_draft->draft().apps), (QStringList{"three", "one", "two", "four", "five"}));
        QVERIFY(!m_actions->dropEntered(items[2].id));
        m_actions->performDrop();
        QVERIFY(!m_actions->reorderDraggingID());
        QVERIFY(m_actions->isReordering());
        // A second drag keeps the order from before the first.
        m_actions->beginTileDrag(items[0].id);
        QVERIFY(m_actions->dropEntered(items[1].id));
        QCOMPARE(names(m_draft->draft().apps), (QStringList{"three", "two", "one", "four", "five"}));
        QCOMPARE(names(*m_draft->preReorderApps()), (QStringList{"one", "two", "three", "four", "five"}));
        QCOMPARE(names(m_draft->iconPreviewApps()), (QStringList{"one", "two", "three", "four", "five"}));
        QCOMPARE(names(storedGroups(*m_store).first().apps), (QStringList{"one", "two", "three", "four", "five"}));
        m_actions->cancelReorder();
        QVERIFY(!m_actions->isReordering());
        QCOMPARE(names(m_draft->draft().apps), (QStringList{"one", "two", "three", "four", "five"}));

        m_actions->beginItemDrag(items[0].id);
        QVERIFY(m_actions->dropEntered(items[2].id));
        QCOMPARE(names(m_draft->draft().apps), (QStringList{"two", "three", "one", "four", "five"}));
        m_actions->endDrag();
        QVERIFY(!m_actions->reorderDraggingID());
        m_actions->finishReorder();
        QCOMPARE(names(storedGroups(*m_store).first().apps), (QStringList{"two", "three", "one", "four", "five"}));
    }

    void pickersReplaceTheListAndCountWhatWasAdded()
    {
        open(five().mid(0, 2));
        QList<AppItem> picked = m_draft->draft().apps;
        for (int i = 0; i < 3; ++i)
            picked.append(appItem(QStringLiteral("org.example.App%1").arg(i), QStringLiteral("App %1").arg(i)));
        m_actions->applyPickedApps(picked);
        m_actions->trackAppsAdded(QStringLiteral("picker"));
        QCOMPARE(m_sent.count(QStringLiteral("group.apps_added")), 1);
        QCOMPARE(m_sent.list.last().second, (QMap<QString, QString>{{QStringLiteral("method"), QStringLiteral("picker")},
                                                                   {QStringLiteral("count"), QStringLiteral("3")}}));
        m_actions->applyPickedApps(five().mid(0, 1));
        m_actions->trackAppsAdded(QStringLiteral("dock_picker"));
        QCOMPARE(m_sent.count(QStringLiteral("group.apps_added")), 1);
    }
};

KESTROWAN_TEST_MAIN(TestEditorItems)
#include "tst_editoritems.moc"
