#include "Kestrowan/editor/EditorChoiceServices.h"

#include "Kestrowan/dock/KeyboardShortcutService.h"
#include "Kestrowan/editor/ApplicationChooserDialog.h"
#include "Kestrowan/editor/GroupEditorServices.h"
#include "Kestrowan/editor/KeyboardShortcutStore.h"
#include "Kestrowan/editor/OpenerSection.h"
#include "Kestrowan/shell/AppEnvironment.h"

void addEditorChoiceServices(GroupEditorServices &services, const AppEnvironment &environment)
{
    if (auto *shortcuts = qobject_cast<KeyboardShortcutService *>(environment.keyboardShortcutService)) {
        // One store per service, living as long as the service.
        KeyboardShortcutStore *store = shortcuts->findChild<KeyboardShortcutStore *>(QString(), Qt::FindDirectChildrenOnly);
        if (!store)
            store = new KeyboardShortcutStore(shortcuts, shortcuts);
        services.shortcutStore = store;
        services.keyTranslator = ShortcutRecorder::platformKeyTranslator();
    }
    if (!services.applicationChooser)
        services.applicationChooser = ApplicationChooserDialog::chooser(nullptr);
    if (!services.openerSection)
        services.openerSection = [](OpenerRulesEditor *openers) -> QWidget * { return new OpenerSection(openers); };
}
