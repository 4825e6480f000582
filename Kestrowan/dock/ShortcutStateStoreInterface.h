#pragma once

#include <QObject>

#include <memory>

// Which items were opened lately and which applications run, for the popup's opened-state marks.
// The shell only creates it and hands it on; the popup and the hover service use what they need.
class ShortcutStateStoreInterface : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};

// Starts observing the running applications and its clean-up timer.
std::unique_ptr<ShortcutStateStoreInterface> makeShortcutStateStore();
