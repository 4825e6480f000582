#pragma once

#include "Kestrowan/groups/AppGroup.h"
#include "tests/app/X11Windows.h"
#include "tests/dock/ProgramWindows.h"
#include "tests/dock/StandinDockSession.h"
#include "tests/dock/XTestKeyboard.h"
#include "tests/standin/XTestPointer.h"

#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <utility>

// The real program driven from outside on the test's X server, beside the stand-in Dock under its
// keeper: the test's home with the groups and folders a test sets up, the program started as the
// test's child with every line it writes kept, and the pointer and the keyboard through XTest.
// A test class derives from it (after QObject) and drives the program through these members.
class ProgramRoad {
public:
    ProgramRoad();

protected:
    // A note under the home's Documents: its file's base name and the title the group shows for it.
    using Note = std::pair<QString, QString>;

    // The program built beside the test.
    static QString programPath();
    // Whether XTest reaches the test's X server.
    bool canDrive() const { return m_pointer.isValid() && m_keyboard.isValid(); }
    // The Dock's Accessibility grant for the program, as a user gives it once.
    static bool grantDockAccess();

    // "<name> 1" … "<name> <count>", shown as "Note 1" … "Note <count>".
    static QList<Note> numberedNotes(const QString &name, int count);
    // A group of notes, their files made (empty) under the home's Documents.
    AppGroup makeNotesGroup(const QString &name, const QList<Note> &notes,
                            AppGroup::DisplayStyle style = AppGroup::DisplayStyle::Grid);
    // Where the program keeps its files in the test's home.
    QString storage() const;
    // The program's stored list of groups, as though it had saved them.
    bool writeGroups(const QList<AppGroup> &groups);
    // The group's folder as the program keeps it for the Dock.
    QString mirrorFolder(const AppGroup &group) { return m_dock.makeGroupFolder(group.name, group.id); }

    static void setDefaults(const QVariantMap &values);
    // A user past the first run, in `interactionMode`, with `more` besides. The program stays a
    // regular one with a Dock tile of its own from the start: the Dock makes room for it once and
    // the tiles stay put from then on.
    static void writeUserSettings(const QString &interactionMode, const QVariantMap &more = {});

    // Starts the program afresh (its earlier lines dropped) and waits until it writes `readyLine`.
    bool launchProgram(const QString &readyLine = QStringLiteral("Runtime bootstrap complete"));
    // Asked to quit first, killed when it does not go.
    void stopProgram() { ProgramWindows::stopProgram(m_program); }

    // Whether the program has written a line holding `text`, at index `from` or later, within
    // `timeout` milliseconds.
    bool waitForLine(const QString &text, int from = 0, int timeout = ProgramWindows::roadTimeout);
    // The first line at `from` or later that holds `text`, -1 when there is none.
    int lineIndex(const QString &text, int from = 0) const;

    // The program's main window, while it shows.
    std::optional<X11Windows::Window> shownMainWindow() const;
    // Whether the program's window that `isIt` picks stands above its main window in the X
    // server's stacking order.
    bool aboveMainWindow(const std::function<bool(const X11Windows::Window &)> &isIt) const;
    // Rests the pointer on a group's tile until the program shows the popup beside it.
    std::optional<QRect> hoverUntilPopupBeside(const QString &group);

    // What a failure report shows: every line the program wrote; its windows and the Dock's tiles.
    void printProgramOutput() const;
    void printWindowsAndTiles();

    StandinDockSession m_dock;
    XTestPointer m_pointer;
    XTestKeyboard m_keyboard;
    // Before the program, so that the lines it writes while it is ended still have a place.
    QStringList m_log;
    QProcess m_program;
};
