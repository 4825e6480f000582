#pragma once

#include "Kestrowan/groups/AppItem.h"

// What the popup asks of the store of running and recently opened items.
class PopupItemStates {
public:
    virtual ~PopupItemStates() = default;

    // Records that `item` was opened from the popup just now.
    virtual void markOpened(const AppItem &item) = 0;
    // Whether `item` runs, or was opened from the popup recently.
    virtual bool isItemActive(const AppItem &item) const = 0;
};
