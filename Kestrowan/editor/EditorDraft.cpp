#include "Kestrowan/editor/EditorDraft.h"

#include <utility>

EditorDraft::EditorDraft(const AppGroup &group, QObject *parent) : QObject(parent), m_draft(group) {}

void EditorDraft::setDraft(const AppGroup &draft)
{
    if (draft == m_draft)
        return;
    const QList<AppItem> previewBefore = iconPreviewApps();
    m_draft = draft;
    emit draftChanged(m_draft);
    if (iconPreviewApps() != previewBefore)
        emit previewAppsChanged();
}

void EditorDraft::setReordering(bool reordering, const std::optional<QList<AppItem>> &preReorderApps)
{
    const QList<AppItem> previewBefore = iconPreviewApps();
    const bool wasReordering = std::exchange(m_isReordering, reordering);
    m_preReorderApps = preReorderApps;
    if (iconPreviewApps() != previewBefore)
        emit previewAppsChanged();
    if (wasReordering != reordering)
        emit reorderingChanged(reordering);
}

QList<AppItem> EditorDraft::iconPreviewApps() const
{
    if (m_isReordering && m_preReorderApps)
        return *m_preReorderApps;
    return m_draft.apps;
}
