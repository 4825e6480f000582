// Kestrowan's entry point. The language override has to reach the defaults before any interface
// exists, so that texts the system supplies follow the user's choice.
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/UserDefaults.h"
#include "analytics/NVLXAnalytics.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    LanguageManager::applyLanguageOverrideAtStartup(UserDefaults::standard());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrowan"));
    QApplication::setOrganizationName(QStringLiteral("Kestrowan"));
    LanguageManager::applySystemTextsAtStartup(UserDefaults::standard());
    NVLXAnalytics::configureFromBuild();
    qCInfo(appLogger, "Kestrowan started; the main window is not part of this build yet");
    return 0;
}
