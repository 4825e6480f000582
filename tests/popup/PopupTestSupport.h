#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/dock/PopupItemStates.h"
#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupLauncher.h"
#include "Kestrowan/popup/PopupWindowController.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>

#include <functional>
#include <memory>

class FakeWorkspaceOpener;

// Items and groups for popup tests, and recorders of what the popup reports.
namespace PopupTest {

// An installed-looking application in `folder`: a desktop entry with an icon of its own (a rounded
// square of `color` with the name's first letter), so that pictures and tints are real.
AppItem desktopApplication(const QString &folder, const QString &name, const QColor &color);

// Mail, Calendar, Notes, Maps and Photos Library Manager, each with an icon of its own colour.
QList<AppItem> colouredApplications(const QString &folder);

AppItem application(const QString &name);
AppItem document(const QString &name, const QString &path);
AppItem link(const QString &name, const QString &url);
AppItem hiddenItem();
AppGroup group(const QString &name, const QList<AppItem> &items,
               AppGroup::DisplayStyle style = AppGroup::DisplayStyle::Grid);
// `count` applications named "App 1", "App 2", ...
AppGroup numberedGroup(int count, AppGroup::DisplayStyle style = AppGroup::DisplayStyle::Grid);

// Installs the platform a popup test runs on: a fake workspace opener (returned; the workspace owns
// it) and fake global event monitors.
FakeWorkspaceOpener *installFakePlatform();
// A popup controller beside a Dock at the bottom of a 1440 by 900 screen; its signals go nowhere.
std::unique_ptr<PopupWindowController> makeController(PopupItemStates *states,
                                                      std::function<QList<GroupShortcut>()> shortcuts);
// Shows `group`'s popup above a tile at the top of the screen and waits until it is on screen and
// has grown in; null when it did not come.
InteractivePopupPanel *showGrownIn(PopupWindowController &controller, const AppGroup &group);

// Records the signals sent; hand `sink()` to a launcher.
struct SignalRecorder {
    QList<QPair<QString, QMap<QString, QString>>> sent;
    PopupLauncher::SignalSink sink()
    {
        return [this](const QString &name, const QMap<QString, QString> &parameters) { sent.append({name, parameters}); };
    }
    QStringList names() const;
};

class RecordingItemStates final : public PopupItemStates {
public:
    QStringList opened; // item names, in order
    QStringList active; // item names that count as active
    void markOpened(const AppItem &item) override { opened.append(item.name); }
    bool isItemActive(const AppItem &item) const override { return active.contains(item.name); }
};

// Environment variables changed for one scope; the old values come back when it ends.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;
    ~ScopedEnvironment();
    // An empty `value` removes the variable.
    void set(const char *name, const QByteArray &value);

private:
    QList<QPair<const char *, QByteArray>> m_saved;
};

} // namespace PopupTest
