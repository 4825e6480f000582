#include "Kestrowan/popup/PopupNotifications.h"

PopupNotifications &PopupNotifications::center()
{
    static PopupNotifications *instance = new PopupNotifications;
    return *instance;
}
