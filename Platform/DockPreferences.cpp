#include "Platform/DockPreferences.h"

#include "Platform/SharedPort.h"
#include "Platform/linux/DockPreferencesFile.h"

DockPreferences &DockPreferences::shared()
{
    return sharedPort<DockPreferences, DockPreferencesFile>();
}

void DockPreferences::install(std::unique_ptr<DockPreferences> preferences)
{
    installedPort<DockPreferences>() = std::move(preferences);
}

QVariant DockPreferences::value(const QString &key) const
{
    const std::optional<QVariantMap> domain = read();
    return domain ? domain->value(key) : QVariant();
}
