#include "Kestrowan/editor/GroupEditorFactory.h"

#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/editor/GroupEditorPage.h"

GroupEditorServices groupEditorServices(const AppEnvironment &environment)
{
    GroupEditorServices services;
    services.groupManager = environment.groupManager;
    services.skinManager = environment.skinManager;
    services.permissionManager = environment.permissionManager;
    services.keyboardShortcutService = dynamic_cast<KeyboardShortcutService *>(environment.keyboardShortcutService);
    return services;
}

QWidget *makeGroupEditorPage(const GroupEditorServices &services, const AppGroup &group, bool isNewDraft, std::function<void()> onBack,
                             QWidget *parent)
{
    return new GroupEditorPage(services, group, isNewDraft, std::move(onBack), parent);
}
