#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

// Watches input that goes to other programs' windows while something of ours floats above them:
// mouse presses anywhere, and the Escape key while another program has the keyboard (an Escape typed
// into one of ours is that window's, for its own key handling). Other keys are never reported, so
// what the user types into another program stays there. Reports arrive on the main thread.
class GlobalEventMonitor : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<std::unique_ptr<GlobalEventMonitor>()>;

    // A new monitor of this machine, or of the factory a test installed.
    static std::unique_ptr<GlobalEventMonitor> create();
    // Replaces how monitors are made; an empty factory goes back to this machine's.
    static void installFactory(Factory factory);

    // False when the desktop offers no way to watch global input; the monitor then reports nothing.
    virtual bool start() = 0;
    virtual void stop() = 0;

signals:
    // The pointer's global position (origin at the top left of the primary screen, y downward).
    void mouseDown(const QPoint &globalPosition, Qt::MouseButton button);
    void escapePressed();

protected:
    using QObject::QObject;
};
