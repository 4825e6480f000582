#pragma once

#include "Kestrowan/dock/DockPositionResolver.h"
#include "Platform/linux/SettingsFileUserDefaults.h"
#include "tests/app/X11Windows.h"
#include "tests/standin/XTestPointer.h"

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <optional>

// What a test on a real X server reads of the running program and the stand-in Dock from outside:
// the program's windows, its popup beside an anchor and the Dock's tiles.
namespace ProgramWindows {

constexpr int roadTimeout = 20000;

// A rectangle as a failure message shows it.
inline QString describe(const QRect &rect)
{
    return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

// The viewable windows of one process, in root coordinates.
inline QList<QRect> windowsOfProcess(qint64 pid)
{
    QList<QRect> windows;
    for (const X11Windows::Window &window : X11Windows().all()) {
        if (window.viewable && window.pid == pid)
            windows.append(window.geometry);
    }
    return windows;
}

// Where a popup beside `anchor` (window space) would be: its edge within a few points of the
// anchor's far side, across from the Dock, and centred on the anchor along it.
inline bool isBesideAbove(const QRect &window, const QRect &anchor)
{
    const int gap = anchor.top() - (window.top() + window.height());
    return gap >= 0 && gap <= 16 && qAbs(window.center().x() - anchor.center().x()) <= 4;
}

inline std::optional<QRect> popupBeside(qint64 pid, const QRect &anchor)
{
    for (const QRect &window : windowsOfProcess(pid)) {
        if (isBesideAbove(window, anchor))
            return window;
    }
    return std::nullopt;
}

inline bool waitForPopupBeside(qint64 pid, const QRect &anchor, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] { return popupBeside(pid, anchor).has_value(); }, timeout);
}

inline bool waitForNoPopupBeside(qint64 pid, const QRect &anchor, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] { return !popupBeside(pid, anchor); }, timeout);
}

// The tile with that title where the Dock has it now: the Dock makes room for a running program's
// own tile.
inline std::optional<DockItemInfo> tileOf(const QString &title)
{
    for (const DockItemInfo &item : DockPositionResolver::readDockItems()) {
        if (item.title == title)
            return item;
    }
    return std::nullopt;
}

// A popup of the program, wherever it is: a window of the process at least 400 by 200 that is not
// `besides` (the main window, when it is up).
inline std::optional<QRect> popupOf(qint64 pid, const std::optional<QRect> &besides = std::nullopt)
{
    for (const QRect &window : windowsOfProcess(pid)) {
        if (window.width() >= 400 && window.height() >= 200 && window != besides)
            return window;
    }
    return std::nullopt;
}

// Rests the pointer on a group's tile until a popup of the program shows.
inline std::optional<QRect> hoverUntilAnyPopup(XTestPointer &pointer, qint64 pid, const QString &group,
                                               const std::optional<QRect> &besides = std::nullopt)
{
    std::optional<QRect> popup;
    const bool shown = QTest::qWaitFor([&] {
        const std::optional<DockItemInfo> tile = tileOf(group);
        if (!tile)
            return false;
        pointer.move(tile->frame.center().toPoint() + QPoint(1, 0));
        pointer.move(tile->frame.center().toPoint());
        return QTest::qWaitFor([&] { return (popup = popupOf(pid, besides)).has_value(); }, 500);
    }, roadTimeout);
    return shown ? popup : std::nullopt;
}

// Whether the keyboard goes to the window of process `pid` at `window`.
inline bool hasKeyboard(qint64 pid, const QRect &window)
{
    X11Windows windows;
    const quint32 focus = windows.inputFocus();
    for (const X11Windows::Window &shown : windows.all()) {
        if (shown.id == focus)
            return shown.pid == pid && shown.geometry.intersects(window);
    }
    return false;
}

// Closes the program's main window as a user does who works elsewhere, and waits until it is gone.
inline bool closeMainWindow(qint64 pid)
{
    return QTest::qWaitFor([&] {
        for (const X11Windows::Window &window : X11Windows().all()) {
            if (window.viewable && window.pid == pid && window.name == QLatin1String("Kestrowan")) {
                X11Windows().requestClose(window.id);
                return false;
            }
        }
        return true;
    }, roadTimeout);
}

// The program's settings for a start against the Dock in `interactionMode` ("hover" or "click";
// enhanced clicks), past the onboarding, with "showInDock" as given, and its environment: every
// log category on.
inline QProcessEnvironment interactionStart(const QString &interactionMode, bool showInDock)
{
    SettingsFileUserDefaults defaults(QString{});
    defaults.setValue(QStringLiteral("interactionMode"), interactionMode);
    defaults.setValue(QStringLiteral("clickModeBehavior"), QStringLiteral("enhanced"));
    defaults.setValue(QStringLiteral("didCompleteOnboarding"), true);
    defaults.setValue(QStringLiteral("showInDock"), showInDock);
    defaults.synchronize();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("com.kestrowan.*=true"));
    return environment;
}

// Every line the program writes goes to `log`.
inline void collectOutput(QProcess &program, QStringList &log)
{
    QObject::connect(&program, &QProcess::readyRead, &program, [&program, &log] {
        while (program.canReadLine())
            log.append(QString::fromUtf8(program.readLine()).trimmed());
    });
}

// Ends the program as the desktop does at log-out: asked first, killed when it does not go.
inline void stopProgram(QProcess &program)
{
    if (program.state() == QProcess::NotRunning)
        return;
    program.terminate();
    if (!program.waitForFinished(roadTimeout)) {
        program.kill();
        program.waitForFinished();
    }
}

// A part of the screen as the user sees it.
inline QImage grabScreen(const QRect &area)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// The screen once it has stopped changing: two grabs in a row alike, so that a page that slides in or
// a window that fades is pictured where it comes to rest.
inline QImage settledGrab(const QRect &area)
{
    // Sampled a fifth of a second apart, three alike in a row: a sanitizer build draws an animation
    // slowly enough that two quick grabs can fall between its frames.
    QImage previous = grabScreen(area);
    int alike = 0;
    if (!QTest::qWaitFor([&] {
            QTest::qWait(200);
            QImage current = grabScreen(area);
            alike = current == previous ? alike + 1 : 0;
            previous = std::move(current);
            return alike >= 2;
        }, 2 * roadTimeout))
        return {};
    return previous;
}

// Waits until a window has faded in: its middle is no longer the empty screen behind it.
inline bool waitUntilDrawn(const QRect &window, int minimumLightness = 100, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] {
        const QImage image = grabScreen(window);
        return !image.isNull() && image.pixelColor(image.width() / 2, image.height() / 2).lightness() > minimumLightness;
    }, timeout);
}

// Waits until a popup has been drawn and has grown in to its full size: the card's edge, drawn at
// full size only, is at the panel's left edge; before that the card's surface is there.
inline bool waitUntilPopupGrown(const QRect &popup, int minimumLightness = 100, int timeout = roadTimeout)
{
    return QTest::qWaitFor([&] {
        const QImage image = grabScreen(popup);
        if (image.isNull() || image.pixelColor(image.width() / 2, image.height() / 2).lightness() <= minimumLightness)
            return false;
        return image.pixelColor(0, image.height() / 2) != image.pixelColor(image.width() / 2, image.height() - 6);
    }, timeout);
}

} // namespace ProgramWindows
