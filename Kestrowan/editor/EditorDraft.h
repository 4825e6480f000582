#pragma once

#include "Kestrowan/groups/AppGroup.h"

#include <QObject>
#include <optional>

// The group editor's working copy of one group (`draft`), shared by the page and its sections. The
// sections change it through setDraft; the page reacts to draftChanged (storing the group, starting
// the automatic sync). Writing an equal value changes nothing and notifies no one.
class EditorDraft : public QObject {
    Q_OBJECT
public:
    explicit EditorDraft(const AppGroup &group, QObject *parent = nullptr);

    const AppGroup &draft() const { return m_draft; }
    QUuid groupID() const { return m_draft.id; }
    void setDraft(const AppGroup &draft);

    // While the items are being reordered the previews keep the order from before.
    bool isReordering() const { return m_isReordering; }
    std::optional<QList<AppItem>> preReorderApps() const { return m_preReorderApps; }
    void setReordering(bool reordering, const std::optional<QList<AppItem>> &preReorderApps);
    // The items the group's icon previews show.
    QList<AppItem> iconPreviewApps() const;

signals:
    void draftChanged(const AppGroup &draft);
    // The items the previews show may be different.
    void previewAppsChanged();
    void reorderingChanged(bool reordering);

private:
    AppGroup m_draft;
    bool m_isReordering = false;
    std::optional<QList<AppItem>> m_preReorderApps;
};
