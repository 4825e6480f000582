#pragma once

#include "Platform/RunningApplications.h"

#include <QObject>

#include <memory>

// This program as the window server sees it: whether it has a Dock icon (regular) or lives only in
// the menu bar (accessory), and bringing it to the front.
class ApplicationActivation : public QObject {
    Q_OBJECT
public:
    using Policy = RunningApplication::ActivationPolicy;

    static ApplicationActivation &shared();
    // Replaces the process-wide instance; nullptr goes back to this machine's.
    static void install(std::unique_ptr<ApplicationActivation> activation);

    // Accessory until set.
    virtual Policy activationPolicy() const = 0;
    virtual void setActivationPolicy(Policy policy) = 0;
    // Brings the program's visible windows forward, the active one focused, whatever else is in front.
    virtual void activateIgnoringOtherApps() = 0;

signals:
    // The user asked the Dock to bring the program forward (a click on its running tile).
    void reopenRequested();

protected:
    using QObject::QObject;
};
