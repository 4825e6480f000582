#pragma once

#include "Kestrowan/editor/UsageSignalSender.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/shell/AppToast.h"

#include <QObject>
#include <QUrl>
#include <optional>

class DraftChangeHandler;
class DroppedItemKeeper;
class EditorDraft;
class QMimeData;

// What the editor does with the group's items: adding them (open panel, drops, pickers) without
// duplicates, moving them, removing one after the user confirmed, and the reorder mode in which
// items are dragged into a new order. Every change goes into the draft, which stores it.
class EditorItemActions : public QObject {
    Q_OBJECT
public:
    // `keepsakeFolder`: where dropped files from temporary folders are copied, so the group never
    // points at a file the system is about to delete.
    EditorItemActions(EditorDraft *draft, DraftChangeHandler *handler, UsageSignalSender sendSignal, QString keepsakeFolder,
                      QObject *parent = nullptr);

    // Adding.
    // Appends unless an item with the same bundle identifier or path is in the group.
    bool addItem(const AppItem &item);
    // Several at once, in one change of the draft; how many were new.
    int addItems(const QList<AppItem> &items);
    // The item a location becomes: stand-ins followed, a file only when it exists, a web link only
    // for a scheme that may be opened.
    static std::optional<AppItem> itemForURL(const QUrl &url);
    bool addURL(const QUrl &url);
    int addURLs(const QList<QUrl> &urls);
    // One dropped line of text as a location, or nothing.
    static std::optional<QUrl> parseDroppedURLText(const QString &text);
    // Every location a drop carries: its URI list, else its text, one location per line.
    static QList<QUrl> droppedURLs(const QMimeData *mime);
    bool canAcceptDrop(const QMimeData *mime) const;
    // True when the drop added an item or started keeping a copy of one; a file from a temporary
    // folder is added once its copy is kept (see `DroppedItemKeeper`).
    bool dropMimeData(const QMimeData *mime);
    bool isTemporaryPath(const QString &path) const;
    DroppedItemKeeper *keeper() const { return m_keeper; }
    // The folders whose contents the system may delete at any time.
    static QStringList systemTemporaryFolders();
    void setTemporaryFolders(const QStringList &folders) { m_temporaryFolders = folders; }

    // A picker's "done": its whole list becomes the group's.
    void applyPickedApps(const QList<AppItem> &apps);
    // After a picker closed: how many items the page gained since it opened (or last synced).
    void trackAppsAdded(const QString &method);

    // Moving.
    void moveItem(int from, int to);
    void moveItemDown(int index);
    void moveItemUp(int index);

    // Removing.
    void confirmRemoveApp(const AppItem &item);
    std::optional<QUuid> confirmRemoveAppID() const { return m_confirmRemoveAppID; }
    void cancelRemove();
    // Removes the item asked about (and its own opener rule), and reports it.
    void removeConfirmedApp();

    // Reordering.
    bool isReordering() const;
    std::optional<QUuid> reorderDraggingID() const { return m_reorderDraggingID; }
    // A drag starts on a cell of the normal grid (entering the mode) or on a tile of the mode.
    void beginItemDrag(const QUuid &id);
    void beginTileDrag(const QUuid &id);
    // The dragged item enters another tile: it takes that tile's place. True when it moved.
    bool dropEntered(const QUuid &targetID);
    void performDrop();
    // The drag ended without a drop on a tile.
    void endDrag();
    // Done keeps the order, Cancel goes back to the order from before; both store the draft as it
    // then is and schedule the automatic sync.
    void finishReorder();
    void cancelReorder();

    // The drag payload of an item: its identifier, for this process only.
    static QMimeData *dragPayload(const AppItem &item);
    static inline const QString dragPayloadType = QStringLiteral("application/x-kestrowan-editor-item");

signals:
    void removeRequestChanged();
    // What the user should read about a drop (a copy's progress, a refusal), or none to clear it.
    void notice(const std::optional<AppToast> &toast);
    void reorderStateChanged();

private:
    void endReorder();

    EditorDraft *m_draft;
    DraftChangeHandler *m_handler;
    UsageSignalSender m_sendSignal;
    QString m_keepsakeFolder;
    QStringList m_temporaryFolders;
    DroppedItemKeeper *m_keeper;
    std::optional<QUuid> m_confirmRemoveAppID;
    std::optional<QUuid> m_reorderDraggingID;
};
