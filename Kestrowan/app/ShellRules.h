#pragma once

#include "Platform/ApplicationActivation.h"

#include <QString>

// What the hover service is told for the stored "interactionMode" and "clickModeBehavior" and the
// Accessibility permission. Texts are compared exactly; an unknown behaviour counts as "enhanced",
// an unknown mode stops everything.
enum class InteractionAction { SetHover, SetClick, Stop };
InteractionAction interactionActionFor(const QString &interactionMode, bool accessibilityGranted,
                                       const QString &clickModeBehavior);

// A Dock icon while a main window is open, shown or asked for, or while the user wants one; menu bar
// only otherwise.
ApplicationActivation::Policy targetActivationPolicy(bool isMainWindowOpen, bool isMainWindowVisible, bool showInDock,
                                                     bool isMainWindowRequested);
