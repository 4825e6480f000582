#include "Kestrowan/shell/InterfaceFont.h"

#include "Kestrowan/shell/LanguageManager.h"
#include "NVLXDesign/SystemFont.h"

#include <QApplication>

namespace {

void applyForCurrentLanguage()
{
    const QString chosen = LanguageManager::shared().currentLanguage();
    const QString language = chosen == QStringLiteral("system") || chosen.isEmpty()
                                 ? LanguageManager::preferredLanguages().value(0)
                                 : chosen;
    SystemFont::applyToApplication(language);
}

} // namespace

void installInterfaceFont()
{
    applyForCurrentLanguage();
    QObject::connect(&LanguageManager::shared(), &LanguageManager::currentLanguageChanged, qApp,
                     [](const QString &) { applyForCurrentLanguage(); });
}
