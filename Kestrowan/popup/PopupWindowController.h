#pragma once

#include "Kestrowan/dock/DockPosition.h"
#include "Kestrowan/groups/AppGroup.h"
#include "Kestrowan/groups/GroupShortcut.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>

class GlobalEventMonitor;
class InteractivePopupPanel;
class PopupItemStates;
class QKeyEvent;
class QPropertyAnimation;

// Owns the one popup of the program: fills its panel with new content for every show (the window
// itself is kept from show to show), sizes it for the group,
// places it beside the anchor on the Dock's side, fades it out on dismissal, and while it is up
// watches the mouse and the keyboard (a click outside or Escape closes it; other keys go to the
// content). Geometry given to and taken from it is in the bottom-left space (origin at the bottom
// left of the primary screen, y upward), like the Dock's frames.
class PopupWindowController : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // milliseconds on a steady clock

    // For its first moments the popup counts the pointer as its own wherever it is, and after that
    // a little around the panel too, so that a hand on its way from the tile is not taken for one
    // that left.
    static constexpr qint64 showGraceMilliseconds = 500;
    static constexpr qreal insideMargin = 8;

    explicit PopupWindowController(QObject *parent = nullptr);
    ~PopupWindowController() override;

    void showPopup(const AppGroup &group, std::function<void(const QUuid &)> onEdit, const QRectF &anchor);
    void dismissPopup();
    void closePopupImmediately();

    bool isShowing() const { return m_isShowing; }
    // True for any point during the first 0.5 s after a show, then within 8 points of the panel or
    // on the way between the anchor and the panel.
    bool isMouseInsidePopup(const QPointF &point) const;
    // What is left of that first half second; 0 once it is over or while nothing shows.
    qint64 showGraceRemaining() const;
    static QSizeF popupSize(const AppGroup &group);
    QPointF popupOrigin(const QSizeF &size, const QRectF &anchor) const;

    // Set by the owner right after creation; each may stay unset.
    void setItemStates(PopupItemStates *states) { m_itemStates = states; }
    void setShortcutsSource(std::function<QList<GroupShortcut>()> source) { m_shortcuts = std::move(source); }
    std::function<void(const QUuid &groupID, const QString &name)> onRenameGroup;
    // A press at this global window-space point belongs to someone else (the Dock's own bar): it
    // does not count as a click outside the popup.
    std::function<bool(const QPoint &globalPosition)> ignoresPressAt;

    // Where the popup goes; the Dock's preferences and screens unless replaced (tests).
    std::function<DockPosition()> dockPositionSource;
    std::function<QRectF()> visibleFrameSource;
    // Where the pointer is, in the bottom-left space; the desktop's pointer unless replaced (tests).
    std::function<QPointF()> pointerSource;
    void setClock(Clock clock) { m_clock = std::move(clock); }

    // The usage signal sink for the popup and its launches; the analytics facade unless replaced.
    using SignalSink = std::function<void(const QString &, const QMap<QString, QString> &)>;
    void setSignalSink(SignalSink sink) { m_signalSink = std::move(sink); }

    // The panel currently shown (also while it fades); null when none is.
    InteractivePopupPanel *panel() const { return m_panel; }
    int panelGeneration() const { return m_panelGeneration; }
    bool isEditingTextField() const { return m_isEditingTextField; }
    const QRectF &lastAnchorFrame() const { return m_lastAnchorFrame; }
    const std::optional<AppGroup> &lastGroup() const { return m_lastGroup; }

signals:
    void popupShown();
    void popupDismissed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Closes at once; `forNextShow` leaves the window up, as a show fills it again right away.
    void close(bool forNextShow);
    void installMonitors();
    // A popup that gives way to the next keeps the desktop's reports coming, so that no press made
    // in between is lost.
    void tearDownPopupMonitors(bool stopGlobal = true);
    void handleOutsideClick(const QPoint &globalPosition);
    bool handleLocalKey(QKeyEvent *event);
    bool isPopupKey(QKeyEvent *event) const;
    static QString typedCharacters(const QKeyEvent *event);
    qint64 now() const;
    void fitPanelToContent(InteractivePopupPanel *panel);
    // Hides the panel and lets its content go; the window stays for the next show.
    void retire(InteractivePopupPanel *panel);
    // The panel stops taking keys and name-field notifications.
    static void silence(InteractivePopupPanel *panel);
    void stopFade();

    QPointer<InteractivePopupPanel> m_panel;
    // The window every show fills; made at the first show.
    QPointer<InteractivePopupPanel> m_keptPanel;
    QPointer<QPropertyAnimation> m_fade;
    std::unique_ptr<GlobalEventMonitor> m_globalMonitor;
    bool m_localMonitorInstalled = false;
    QList<QMetaObject::Connection> m_editingObservers;
    bool m_isShowing = false;
    std::optional<qint64> m_showTime;
    int m_panelGeneration = 0;
    PopupItemStates *m_itemStates = nullptr;
    std::function<QList<GroupShortcut>()> m_shortcuts;
    bool m_isEditingTextField = false;
    QRectF m_lastAnchorFrame;
    std::optional<AppGroup> m_lastGroup;
    SignalSink m_signalSink;
    Clock m_clock;
    QElapsedTimer m_steadyClock;
};
