#include "Kestrowan/app/ShellRules.h"

InteractionAction interactionActionFor(const QString &interactionMode, bool accessibilityGranted,
                                       const QString &clickModeBehavior)
{
    if (!accessibilityGranted)
        return InteractionAction::Stop;
    if (interactionMode == QStringLiteral("hover"))
        return InteractionAction::SetHover;
    if (interactionMode == QStringLiteral("click"))
        return clickModeBehavior == QStringLiteral("native") ? InteractionAction::Stop : InteractionAction::SetClick;
    return InteractionAction::Stop;
}

ApplicationActivation::Policy targetActivationPolicy(bool isMainWindowOpen, bool isMainWindowVisible, bool showInDock,
                                                     bool isMainWindowRequested)
{
    const bool regular = isMainWindowOpen || isMainWindowVisible || showInDock || isMainWindowRequested;
    return regular ? ApplicationActivation::Policy::Regular : ApplicationActivation::Policy::Accessory;
}
