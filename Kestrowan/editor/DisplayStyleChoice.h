#pragma once

#include "Kestrowan/editor/UsageSignalSender.h"
#include "Kestrowan/groups/AppGroup.h"

#include <QObject>
#include <QPointer>

class EditorDraft;
class PermissionManagerInterface;
class UserDefaults;

// The display-style choice: fan, grid or list. While the program intercepts the group's Dock tile
// (hover mode, or click mode with the enhanced behaviour and Accessibility access) the fan cannot be
// used there, so it is not offered and a hint says why.
class DisplayStyleChoice : public QObject {
    Q_OBJECT
public:
    DisplayStyleChoice(EditorDraft *draft, PermissionManagerInterface *permissions, UserDefaults &defaults,
                       UsageSignalSender sendSignal = analyticsSignalSender(), QObject *parent = nullptr);

    // Exact string comparisons; "hover" intercepts with or without access.
    static bool isDockTileIntercepted(const QString &interactionMode, const QString &clickModeBehavior, bool accessibilityGranted);
    bool isDockTileIntercepted() const;
    bool isDisabled(AppGroup::DisplayStyle style) const;
    bool isSelected(AppGroup::DisplayStyle style) const;

    // Nothing when the style is disabled; otherwise writes the draft and reports it (every time).
    void selectDisplayStyle(AppGroup::DisplayStyle style);

    static QString titleKey(AppGroup::DisplayStyle style);
    static QString symbolName(AppGroup::DisplayStyle style);

    EditorDraft *draft() const { return m_draft; }

signals:
    // Whether the tile is intercepted may have changed (settings or permission).
    void interceptionChanged();

private:
    EditorDraft *m_draft;
    QPointer<PermissionManagerInterface> m_permissions;
    UserDefaults &m_defaults;
    UsageSignalSender m_sendSignal;
};
