#include "Kestrowan/editor/DisplayStyleChoice.h"

#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/editor/EditorDraft.h"
#include "Kestrowan/groups/SettingsValues.h"
#include "Kestrowan/shell/Localization.h"
#include "Platform/UserDefaults.h"

DisplayStyleChoice::DisplayStyleChoice(EditorDraft *draft, PermissionManagerInterface *permissions, UserDefaults &defaults,
                                       UsageSignalSender sendSignal, QObject *parent)
    : QObject(parent), m_draft(draft), m_permissions(permissions), m_defaults(defaults), m_sendSignal(std::move(sendSignal))
{
    connect(&defaults, &UserDefaults::valueChanged, this, [this](const QString &key) {
        if (key == AppSettings::interactionModeKey || key == AppSettings::clickModeBehaviorKey)
            emit interceptionChanged();
    });
    if (permissions)
        connect(permissions, &PermissionManagerInterface::accessibilityGrantedChanged, this, &DisplayStyleChoice::interceptionChanged);
}

bool DisplayStyleChoice::isDockTileIntercepted(const QString &interactionMode, const QString &clickModeBehavior, bool accessibilityGranted)
{
    if (interactionMode == QStringLiteral("hover"))
        return true;
    if (interactionMode == QStringLiteral("click") && clickModeBehavior == QStringLiteral("enhanced"))
        return accessibilityGranted;
    return false;
}

bool DisplayStyleChoice::isDockTileIntercepted() const
{
    return isDockTileIntercepted(AppSettings::interactionMode(m_defaults), AppSettings::clickModeBehavior(m_defaults),
                                 m_permissions && m_permissions->isAccessibilityGranted());
}

bool DisplayStyleChoice::isDisabled(AppGroup::DisplayStyle style) const
{
    return style == AppGroup::DisplayStyle::Fan && isDockTileIntercepted();
}

bool DisplayStyleChoice::isSelected(AppGroup::DisplayStyle style) const
{
    return m_draft->draft().displayStyle == style;
}

void DisplayStyleChoice::selectDisplayStyle(AppGroup::DisplayStyle style)
{
    if (isDisabled(style))
        return;
    AppGroup changed = m_draft->draft();
    changed.displayStyle = style;
    m_draft->setDraft(changed);
    if (m_sendSignal)
        m_sendSignal(QStringLiteral("group.display_style_changed"), {{QStringLiteral("style"), localized(titleKey(style))}});
}

QString DisplayStyleChoice::titleKey(AppGroup::DisplayStyle style)
{
    return QStringLiteral("group.style.") + displayStyleRawValue(style);
}

QString DisplayStyleChoice::symbolName(AppGroup::DisplayStyle style)
{
    switch (style) {
    case AppGroup::DisplayStyle::Fan: return QStringLiteral("rectangle.expand.vertical");
    case AppGroup::DisplayStyle::Grid: return QStringLiteral("square.grid.2x2");
    case AppGroup::DisplayStyle::List: return QStringLiteral("list.bullet");
    }
    return QString();
}
