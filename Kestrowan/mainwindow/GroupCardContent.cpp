#include "Kestrowan/mainwindow/GroupCardContent.h"

#include "Kestrowan/shell/LocalizedFormat.h"
#include "Kestrowan/shell/Localization.h"

GroupCardContent GroupCardContent::of(const AppGroup &group)
{
    GroupCardContent content;
    // A name of spaces is the user's name and shown as it is.
    content.isUntitled = group.name.isEmpty();
    content.displayName = content.isUntitled ? localized(QStringLiteral("onboarding.group.untitled")) : group.name;
    content.styleLabel = localized(QStringLiteral("group.style.") + displayStyleRawValue(group.displayStyle));
    content.countText = localizedFormat(QStringLiteral("groupList.appCount"), {group.apps.size()});
    if (group.apps.size() < maximumStripItems) {
        content.stripItems = group.apps;
    } else {
        content.stripItems = group.apps.first(stripItemsWithOverflow);
        content.overflowText = u'+' + QString::number(group.apps.size() - stripItemsWithOverflow);
    }
    return content;
}
