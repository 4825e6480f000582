#include "Kestrowan/editor/EditorItemActions.h"

#include "Kestrowan/editor/DraftChangeHandler.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/groups/DroppedItemKeeper.h"
#include "Kestrowan/groups/ItemFactory.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/HapticFeedback.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QSet>
#include <QStandardPaths>

namespace {

// "file://localhost/x" names the local "/x"; Qt would keep the host and read it as a network share.
QUrl withoutLocalHost(QUrl url)
{
    if (url.scheme().compare(QLatin1String("file"), Qt::CaseInsensitive) == 0
        && url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        url.setHost(QString());
    return url;
}

} // namespace

EditorItemActions::EditorItemActions(EditorDraft *draft, DraftChangeHandler *handler, UsageSignalSender sendSignal,
                                     QString keepsakeFolder, QObject *parent)
    : QObject(parent), m_draft(draft), m_handler(handler), m_sendSignal(std::move(sendSignal)), m_keepsakeFolder(std::move(keepsakeFolder)), m_temporaryFolders(systemTemporaryFolders())
    , m_keeper(new DroppedItemKeeper(m_keepsakeFolder, this))
{
    connect(m_keeper, &DroppedItemKeeper::notice, this, &EditorItemActions::notice);
}

bool EditorItemActions::addItem(const AppItem &item)
{
    return addItems({item}) == 1;
}

int EditorItemActions::addItems(const QList<AppItem> &items)
{
    AppGroup group = m_draft->draft();
    // What the group holds, looked up at once: a long drop stays linear.
    QSet<QString> identifiers, paths;
    for (const AppItem &existing : std::as_const(group.apps)) {
        identifiers.insert(existing.bundleIdentifier);
        paths.insert(existing.path);
    }
    QList<AppItem> added;
    for (const AppItem &item : items) {
        if (identifiers.contains(item.bundleIdentifier) || paths.contains(item.path))
            continue;
        identifiers.insert(item.bundleIdentifier);
        paths.insert(item.path);
        group.apps.append(item);
        added.append(item);
    }
    if (added.isEmpty())
        return 0;
    // One change of the draft for all of them: the page and the store take them in at once.
    m_draft->setDraft(group);
    if (m_sendSignal) {
        for (const AppItem &item : std::as_const(added))
            m_sendSignal(QStringLiteral("group.app_added"), {{QStringLiteral("app_name"), item.name}, {QStringLiteral("method"), QStringLiteral("drop")}});
    }
    return int(added.size());
}

std::optional<AppItem> EditorItemActions::itemForURL(const QUrl &url)
{
    const ResolvedShortcut resolved = resolveAddedURL(withoutLocalHost(url));
    if (resolved.url.isLocalFile()) {
        const QString path = resolved.url.toLocalFile();
        if (!QFileInfo::exists(path))
            return std::nullopt;
        return makeFileItem(resolved.url, resolved.preferredName);
    }
    return makeWebItem(resolved.url, resolved.preferredName);
}

bool EditorItemActions::addURL(const QUrl &url)
{
    return addURLs({url}) == 1;
}

int EditorItemActions::addURLs(const QList<QUrl> &urls)
{
    QList<AppItem> items;
    for (const QUrl &url : urls) {
        if (const std::optional<AppItem> item = itemForURL(url))
            items.append(*item);
    }
    return addItems(items);
}

std::optional<QUrl> EditorItemActions::parseDroppedURLText(const QString &text)
{
    QString trimmed = text.trimmed();
    while (!trimmed.isEmpty() && trimmed.front() == QChar(0))
        trimmed.remove(0, 1);
    while (!trimmed.isEmpty() && trimmed.back() == QChar(0))
        trimmed.chop(1);
    if (trimmed.isEmpty())
        return std::nullopt;
    if (trimmed.startsWith(u'/'))
        return QUrl::fromLocalFile(trimmed);
    if (trimmed.startsWith(QLatin1String("file://"))) {
        const QUrl parsed = withoutLocalHost(QUrl(trimmed, QUrl::StrictMode));
        if (parsed.isValid() && parsed.isLocalFile() && parsed.host().isEmpty())
            return QUrl::fromLocalFile(parsed.toLocalFile());
        // Not a well-formed address: the rest as a path, decoded where it can be.
        const QString rest = trimmed.mid(7);
        const QString decoded = QUrl::fromPercentEncoding(rest.toUtf8());
        return QUrl::fromLocalFile(decoded.isEmpty() ? rest : decoded);
    }
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

QList<QUrl> EditorItemActions::droppedURLs(const QMimeData *mime)
{
    QList<QUrl> urls;
    if (!mime)
        return urls;
    if (mime->hasUrls()) {
        for (const QUrl &url : mime->urls()) {
            if (!url.isValid() || url.scheme().isEmpty())
                continue;
            if (url.isLocalFile() || url.scheme() == QLatin1String("file"))
                urls.append(QUrl::fromLocalFile(withoutLocalHost(url).toLocalFile()));
            else
                urls.append(url);
        }
        if (!urls.isEmpty())
            return urls;
    }
    if (mime->hasText()) {
        const QStringList lines = mime->text().split(QRegularExpression(QStringLiteral("[\\r\\n]+")), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            if (const std::optional<QUrl> url = parseDroppedURLText(line))
                urls.append(*url);
        }
    }
    return urls;
}

bool EditorItemActions::canAcceptDrop(const QMimeData *mime) const
{
    return !isReordering() && mime && !mime->hasFormat(dragPayloadType) && (mime->hasUrls() || mime->hasText());
}

QStringList EditorItemActions::systemTemporaryFolders()
{
    return DroppedItemKeeper::systemTemporaryFolders();
}

bool EditorItemActions::isTemporaryPath(const QString &path) const
{
    return DroppedItemKeeper::isTemporaryPath(path, m_temporaryFolders);
}

bool EditorItemActions::dropMimeData(const QMimeData *mime)
{
    if (!canAcceptDrop(mime))
        return false;
    QList<QUrl> adding;
    int copies = 0;
    for (const QUrl &url : droppedURLs(mime)) {
        if (!url.isLocalFile()) {
            adding.append(url);
            continue;
        }
        // A dropped stand-in is followed first, so the copy is of what it points at.
        const QString target = resolveAddedURL(url).url.toLocalFile();
        if (target.isEmpty() || !QFileInfo::exists(target))
            continue;
        if (isTemporaryPath(target)) {
            // Kept only where the copy outlives the temporary folder.
            if (m_keepsakeFolder.isEmpty() || isTemporaryPath(m_keepsakeFolder + QStringLiteral("/x")))
                continue;
            m_keeper->keep(target, [this](const QString &kept) { addURL(QUrl::fromLocalFile(kept)); });
            ++copies;
            continue;
        }
        adding.append(url);
    }
    // A drop that adds nothing (and copies nothing) is refused, so the source keeps its item.
    return addURLs(adding) > 0 || copies > 0;
}

void EditorItemActions::applyPickedApps(const QList<AppItem> &apps)
{
    AppGroup group = m_draft->draft();
    group.apps = apps;
    m_draft->setDraft(group);
}

void EditorItemActions::trackAppsAdded(const QString &method)
{
    const qsizetype added = m_draft->draft().apps.size() - m_handler->originalDraft().apps.size();
    if (added >= 1 && m_sendSignal)
        m_sendSignal(QStringLiteral("group.apps_added"), {{QStringLiteral("method"), method}, {QStringLiteral("count"), QString::number(added)}});
}

void EditorItemActions::moveItem(int from, int to)
{
    AppGroup group = m_draft->draft();
    const int count = int(group.apps.size());
    if (from == to || from < 0 || from >= count || to < 0 || to >= count)
        return;
    group.apps.move(from, to);
    m_draft->setDraft(group);
}

void EditorItemActions::moveItemDown(int index)
{
    if (index < int(m_draft->draft().apps.size()) - 1)
        moveItem(index, index + 1);
}

void EditorItemActions::moveItemUp(int index)
{
    if (index > 0)
        moveItem(index, index - 1);
}

void EditorItemActions::confirmRemoveApp(const AppItem &item)
{
    m_confirmRemoveAppID = item.id;
    emit removeRequestChanged();
}

void EditorItemActions::cancelRemove()
{
    m_confirmRemoveAppID.reset();
    emit removeRequestChanged();
}

void EditorItemActions::removeConfirmedApp()
{
    if (m_confirmRemoveAppID) {
        const QUuid id = *m_confirmRemoveAppID;
        AppGroup group = m_draft->draft();
        QString name;
        for (const AppItem &item : std::as_const(group.apps)) {
            if (item.id == id) {
                name = item.name;
                break;
            }
        }
        group.apps.removeIf([&id](const AppItem &item) { return item.id == id; });
        // An opener rule for an item that is gone would stay in the group for ever.
        if (group.openerRules) {
            group.openerRules->byItem.remove(id.toString(QUuid::WithoutBraces).toUpper());
            if (group.openerRules->isEmpty())
                group.openerRules.reset();
        }
        m_draft->setDraft(group);
        if (m_sendSignal)
            m_sendSignal(QStringLiteral("group.app_removed"), {{QStringLiteral("app_name"), name}});
    }
    m_confirmRemoveAppID.reset();
    emit removeRequestChanged();
}

bool EditorItemActions::isReordering() const
{
    return m_draft->isReordering();
}

void EditorItemActions::beginItemDrag(const QUuid &id)
{
    if (!m_draft->isReordering())
        m_draft->setReordering(true, m_draft->draft().apps);
    m_reorderDraggingID = id;
    emit reorderStateChanged();
}

void EditorItemActions::beginTileDrag(const QUuid &id)
{
    if (!m_draft->isReordering())
        return;
    m_reorderDraggingID = id;
    emit reorderStateChanged();
}

bool EditorItemActions::dropEntered(const QUuid &targetID)
{
    if (!m_draft->isReordering() || !m_reorderDraggingID || *m_reorderDraggingID == targetID)
        return false;
    AppGroup group = m_draft->draft();
    int from = -1, to = -1;
    for (int i = 0; i < group.apps.size(); ++i) {
        if (from < 0 && group.apps.at(i).id == *m_reorderDraggingID)
            from = i;
        if (to < 0 && group.apps.at(i).id == targetID)
            to = i;
    }
    if (from < 0 || to < 0 || from == to)
        return false;
    group.apps.move(from, to);
    m_draft->setDraft(group);
    HapticFeedback::shared().perform(HapticFeedback::Pattern::Alignment);
    return true;
}

void EditorItemActions::performDrop()
{
    m_reorderDraggingID.reset();
    emit reorderStateChanged();
}

void EditorItemActions::endDrag()
{
    if (!m_reorderDraggingID)
        return;
    m_reorderDraggingID.reset();
    emit reorderStateChanged();
}

void EditorItemActions::endReorder()
{
    m_draft->setReordering(false, std::nullopt);
    m_reorderDraggingID.reset();
    // Whatever changed while the mode lasted (order, name, styles) was held back: store it now.
    m_handler->storeCurrentDraft();
    emit reorderStateChanged();
}

void EditorItemActions::finishReorder()
{
    if (!m_draft->isReordering())
        return;
    endReorder();
}

void EditorItemActions::cancelReorder()
{
    if (!m_draft->isReordering())
        return;
    AppGroup group = m_draft->draft();
    if (const std::optional<QList<AppItem>> before = m_draft->preReorderApps())
        group.apps = *before;
    m_draft->setDraft(group);
    endReorder();
}

QMimeData *EditorItemActions::dragPayload(const AppItem &item)
{
    auto *mime = new QMimeData;
    mime->setData(dragPayloadType, item.id.toString(QUuid::WithoutBraces).toUpper().toUtf8());
    return mime;
}
