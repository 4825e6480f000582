#pragma once

#include "Kestrowan/dock/PermissionManagerInterface.h"
#include "Kestrowan/groups/DockReader.h"

// Accessibility trust that a test sets by hand.
class SettablePermissions final : public PermissionManagerInterface {
    Q_OBJECT
public:
    bool granted = false;
    int requests = 0;
    bool isAccessibilityGranted() const override { return granted; }
    void refreshAccessibilityStatus() override {}
    void requestAccessibility() override { ++requests; }
    void setGranted(bool value)
    {
        if (value == granted)
            return;
        granted = value;
        emit accessibilityGrantedChanged(value);
    }
};

inline DockReader::DockApp dockApp(const QString &name, const QString &path = {})
{
    return {QStringLiteral("com.example.") + name.toLower(), name, path};
}
