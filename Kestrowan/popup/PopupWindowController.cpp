#include "Kestrowan/popup/PopupWindowController.h"

#include "Kestrowan/popup/InteractivePopupPanel.h"
#include "Kestrowan/popup/PopupContentView.h"
#include "Kestrowan/popup/PopupLauncher.h"
#include "Kestrowan/popup/PopupLayout.h"
#include "Kestrowan/popup/PopupNotifications.h"
#include "Kestrowan/popup/PopupScreenGeometry.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/Log.h"
#include "Platform/GlobalEventMonitor.h"
#include "Platform/Screens.h"
#include "Platform/VirtualKeys.h"
#include "analytics/NVLXAnalytics.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPropertyAnimation>
#include <QTimer>
#include <QWindow>

namespace {

constexpr int fadeMilliseconds = 100;
const char *fadingProperty = "kestrowanFading";

QString displayStyleTitle(AppGroup::DisplayStyle style)
{
    switch (style) {
    case AppGroup::DisplayStyle::Fan:
        return localized(QStringLiteral("group.style.fan"));
    case AppGroup::DisplayStyle::Grid:
        return localized(QStringLiteral("group.style.grid"));
    case AppGroup::DisplayStyle::List:
        return localized(QStringLiteral("group.style.list"));
    }
    return {};
}

} // namespace

PopupWindowController::PopupWindowController(QObject *parent)
    : QObject(parent)
{
    m_steadyClock.start();
    dockPositionSource = [] { return PopupScreenGeometry::currentDockPosition(); };
    visibleFrameSource = [] { return PopupScreenGeometry::dockVisibleFrame(); };
    pointerSource = [] { return Screens::shared().mouseLocation(); };
    m_signalSink = [](const QString &name, const QMap<QString, QString> &parameters) {
        NVLXAnalytics::signal(name, parameters);
    };
}

PopupWindowController::~PopupWindowController()
{
    closePopupImmediately();
    stopFade();
    delete m_keptPanel.data();
}

qint64 PopupWindowController::now() const
{
    return m_clock ? m_clock() : m_steadyClock.elapsed();
}

QSizeF PopupWindowController::popupSize(const AppGroup &group)
{
    return PopupLayout::popupSize(group);
}

QPointF PopupWindowController::popupOrigin(const QSizeF &size, const QRectF &anchor) const
{
    return PopupLayout::popupOrigin(size, anchor, dockPositionSource(), visibleFrameSource());
}

void PopupWindowController::showPopup(const AppGroup &group, std::function<void(const QUuid &)> onEdit,
                                      const QRectF &anchor)
{
    // The window stays up for the new content: no round trip through the window system between the
    // two popups.
    close(true);
    m_showTime = now();
    m_signalSink(QStringLiteral("popup.opened"),
                 {{QStringLiteral("app_count"), QString::number(group.apps.size())},
                  {QStringLiteral("group_name"), group.name},
                  {QStringLiteral("display_style"), displayStyleTitle(group.displayStyle)}});
    ++m_panelGeneration;
    m_lastAnchorFrame = anchor;
    m_lastGroup = group;
    qCDebug(interactionLogger, "Popup show %d: group %s", m_panelGeneration,
           qPrintable(group.id.toString(QUuid::WithoutBraces).toUpper()));

    std::optional<QString> shortcutText;
    if (m_shortcuts) {
        for (const GroupShortcut &shortcut : m_shortcuts()) {
            if (shortcut.groupID == group.id) {
                shortcutText = shortcut.displayString();
                break;
            }
        }
    }

    PopupContentModel::Inputs inputs;
    inputs.group = group;
    inputs.dockPosition = dockPositionSource();
    inputs.openShortcutDisplay = shortcutText;
    inputs.popupTextScale = 1.0;
    inputs.popupGridColumns = PopupLayout::controllerGridColumns;
    const QPointer<PopupWindowController> self(this);
    const QUuid groupID = group.id;
    inputs.onEdit = [self, groupID, onEdit] {
        qCDebug(appLogger, "Popup edit tapped for group: %s", qPrintable(groupID.toString(QUuid::WithoutBraces).toUpper()));
        if (onEdit)
            onEdit(groupID);
        if (self)
            self->dismissPopup();
    };
    inputs.onDismiss = [self] {
        qCDebug(interactionLogger, "The popup's content closes it");
        if (self)
            self->dismissPopup();
    };
    inputs.onRenameGroup = [self, groupID](const QString &name) {
        if (self && self->onRenameGroup)
            self->onRenameGroup(groupID, name);
    };
    auto launcher = std::make_unique<PopupLauncher>(m_itemStates, m_signalSink);
    auto *content = new PopupContentView(std::move(inputs), std::move(launcher), m_itemStates);

    const QSizeF size = PopupLayout::fittedSize(popupSize(group), dockPositionSource(), visibleFrameSource());
    const QPointF origin = popupOrigin(size, anchor);
    if (!m_keptPanel)
        m_keptPanel = new InteractivePopupPanel(nullptr);
    InteractivePopupPanel *panel = m_keptPanel;
    stopFade();
    // Armed before the window is mapped: a click outside made the moment the popup appears would
    // otherwise reach the desktop before the desktop reports presses to us, and the popup would stay.
    installMonitors();
    if (QWidget *old = panel->replaceContent(content))
        old->deleteLater();
    panel->present(PopupScreenGeometry::toWindowSpace(QRectF(origin, size)).toRect());
    m_panel = panel;
    m_isShowing = true;
    connect(&content->model(), &PopupContentModel::openFailureChanged, panel,
            [this, panel] { fitPanelToContent(panel); });
    connect(&content->model(), &PopupContentModel::searchChanged, panel,
            [this, panel] { fitPanelToContent(panel); });

    m_editingObservers.append(connect(&PopupNotifications::center(), &PopupNotifications::popupTextFieldEditingStarted,
                                      this, [this] { m_isEditingTextField = true; }));
    m_editingObservers.append(connect(&PopupNotifications::center(), &PopupNotifications::popupTextFieldEditingEnded,
                                      this, [this] { m_isEditingTextField = false; }));
    emit popupShown();
}

void PopupWindowController::installMonitors()
{
    // Made once and kept: a show only asks the desktop to report again, with no new connection.
    if (!m_globalMonitor) {
        m_globalMonitor = GlobalEventMonitor::create();
        connect(m_globalMonitor.get(), &GlobalEventMonitor::mouseDown, this,
                [this](const QPoint &position, Qt::MouseButton) { handleOutsideClick(position); });
        // Only Escape comes from other programs: what the user types there is none of the popup's business.
        connect(m_globalMonitor.get(), &GlobalEventMonitor::escapePressed, this, [this] {
            qCDebug(interactionLogger, "Escape typed in another program closes the popup");
            dismissPopup();
        });
    }
    m_globalMonitor->start();
    qApp->installEventFilter(this);
    m_localMonitorInstalled = true;
}

void PopupWindowController::tearDownPopupMonitors(bool stopGlobal)
{
    if (m_globalMonitor && stopGlobal)
        m_globalMonitor->stop();
    if (m_localMonitorInstalled) {
        qApp->removeEventFilter(this);
        m_localMonitorInstalled = false;
    }
    for (const QMetaObject::Connection &observer : std::as_const(m_editingObservers))
        disconnect(observer);
    m_editingObservers.clear();
    m_isEditingTextField = false;
}

void PopupWindowController::retire(InteractivePopupPanel *panel)
{
    panel->hide();
    panel->setProperty(fadingProperty, false);
    // The content goes with the show it belonged to; the next show brings its own.
    if (QWidget *content = panel->replaceContent(nullptr))
        content->deleteLater();
}

void PopupWindowController::stopFade()
{
    if (m_fade)
        m_fade->stop(); // deletes it
    if (m_keptPanel)
        m_keptPanel->setProperty(fadingProperty, false);
}

void PopupWindowController::silence(InteractivePopupPanel *panel)
{
    if (auto *content = qobject_cast<PopupContentView *>(panel->content()))
        content->stopListening();
}

void PopupWindowController::closePopupImmediately()
{
    close(false);
}

void PopupWindowController::close(bool forNextShow)
{
    if (!m_panel)
        return;
    m_isShowing = false;
    tearDownPopupMonitors(!forNextShow);
    InteractivePopupPanel *panel = m_panel;
    m_panel = nullptr;
    silence(panel);
    // A fade still running for this panel stops here; the generation is left alone.
    stopFade();
    if (!forNextShow)
        retire(panel);
    emit popupDismissed();
}

void PopupWindowController::dismissPopup()
{
    if (!m_panel)
        return;
    const QPointer<InteractivePopupPanel> panel = m_panel.data();
    const int generation = m_panelGeneration;
    const bool wasShowing = m_isShowing;
    if (wasShowing)
        qCDebug(interactionLogger, "Popup show %d dismissed", generation);
    m_isShowing = false;
    tearDownPopupMonitors();
    silence(panel);
    if (panel->property(fadingProperty).toBool())
        return;
    panel->setProperty(fadingProperty, true);
    auto *fade = new QPropertyAnimation(panel, "windowOpacity", panel);
    m_fade = fade;
    fade->setDuration(fadeMilliseconds);
    fade->setEasingCurve(QEasingCurve::InCubic);
    fade->setEndValue(0.0);
    const QPointer<PopupWindowController> self(this);
    connect(fade, &QPropertyAnimation::finished, panel, [self, panel, generation] {
        if (!panel)
            return;
        panel->hide();
        QTimer::singleShot(0, panel, [self, panel, generation] {
            // A show since then has taken the window over.
            if (!self || self->m_panelGeneration != generation || self->m_panel != panel)
                return;
            self->m_panel = nullptr;
            self->retire(panel);
        });
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
    if (wasShowing)
        emit popupDismissed();
}

void PopupWindowController::fitPanelToContent(InteractivePopupPanel *panel)
{
    auto *content = qobject_cast<PopupContentView *>(panel->content());
    if (panel != m_panel || !m_isShowing || !content || !m_lastGroup)
        return;
    // The panel is sized for what it shows: while a search narrows the items it takes the size the
    // narrowed group would get, so a search that finds little or nothing leaves no tall empty card.
    AppGroup shown = *m_lastGroup;
    shown.apps = PopupLayout::filteredItems(PopupLayout::displayItems(*m_lastGroup), content->model().searchText());
    QSizeF size = popupSize(shown);
    // The line that says what could not be opened takes room of its own: the panel grows by it (as
    // far as the screen allows; beyond that the items scroll) and shrinks back when it goes.
    if (const QLabel *line = content->openFailureLine(); line && !line->isHidden())
        size.rheight() += line->heightForWidth(int(size.width()));
    const DockPosition edge = dockPositionSource();
    const QRectF visibleFrame = visibleFrameSource();
    size = PopupLayout::fittedSize(size, edge, visibleFrame);
    const QRectF frame = PopupScreenGeometry::toBottomLeftSpace(QRectF(panel->geometry()));
    qCDebug(interactionLogger, "Popup show %d searches %d characters: %d items, the panel %gx%g takes %gx%g", m_panelGeneration,
            int(content->model().searchText().size()), int(shown.apps.size()), frame.width(), frame.height(), size.width(),
            size.height());
    if (size == frame.size())
        return;
    // The side toward the tile stays where it is, so the panel never comes away from it.
    QRectF fitted = PopupLayout::resizedFrame(frame, size, m_lastAnchorFrame, edge, visibleFrame);
    // A pointer resting on the panel stays on it: the panel keeps the room under the pointer rather
    // than slipping out from beneath it, which would read as the pointer leaving.
    const QPointF pointer = pointerSource();
    if (frame.adjusted(-insideMargin, -insideMargin, insideMargin, insideMargin).contains(pointer)) {
        const QRectF around(pointer.x() - insideMargin, pointer.y() - insideMargin, 2 * insideMargin, 2 * insideMargin);
        fitted = fitted.united(around.intersected(frame));
    }
    if (fitted == frame)
        return;
    panel->setGeometry(PopupScreenGeometry::toWindowSpace(fitted).toRect());
}

qint64 PopupWindowController::showGraceRemaining() const
{
    if (!m_panel || !m_isShowing || !m_showTime)
        return 0;
    return std::max<qint64>(0, *m_showTime + showGraceMilliseconds - now());
}

bool PopupWindowController::isMouseInsidePopup(const QPointF &point) const
{
    if (!m_panel || !m_isShowing)
        return false;
    if (showGraceRemaining() > 0)
        return true;
    const QRectF frame = PopupScreenGeometry::toBottomLeftSpace(QRectF(m_panel->frameGeometry()));
    if (frame.adjusted(-insideMargin, -insideMargin, insideMargin, insideMargin).contains(point))
        return true;
    // On the way from the tile to the panel: the panel may stand further off than the margin
    // reaches, where the screen's edge or the Dock's band pushed it.
    return PopupLayout::isBetween(point, m_lastAnchorFrame, frame, insideMargin);
}

void PopupWindowController::handleOutsideClick(const QPoint &globalPosition)
{
    if (!m_panel)
        return;
    if (m_panel->frameGeometry().contains(globalPosition))
        return;
    if (ignoresPressAt && ignoresPressAt(globalPosition))
        return;
    // Presses in the program's own windows are seen by the local watch, as a desktop's global
    // monitor never sees them.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != m_panel && window->isVisible() && window->frameGeometry().contains(globalPosition))
            return;
    }
    qCDebug(interactionLogger, "A press outside at %d,%d closes the popup", globalPosition.x(), globalPosition.y());
    dismissPopup();
}

bool PopupWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_isShowing)
        return QObject::eventFilter(watched, event);
    // A press in another window of the program is a click outside the popup; the press goes on
    // to its widget, so the keys then go where the user clicked. The desktop's presses reach the
    // window first, a widget's own (synthesized) ones only the widget.
    if (event->type() == QEvent::MouseButtonPress && watched->isWindowType() && m_panel
        && watched != m_panel->windowHandle()) {
        qCDebug(interactionLogger, "A press in another window of the program closes the popup");
        dismissPopup();
        return false;
    }
    // One of the program's key equivalents run from the popup (its window, its settings) closes the
    // popup, as the popup's own edit command does: the user has gone on to something else.
    if (event->type() == QEvent::Shortcut && m_panel && QApplication::activeWindow() == m_panel) {
        qCDebug(interactionLogger, "A key equivalent of the program closes the popup");
        dismissPopup();
        return false;
    }
    if (!watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    QWidget *window = static_cast<QWidget *>(watched)->window();
    // Keys typed into the program's other windows are theirs: only the panel's go to the popup.
    if (event->type() == QEvent::KeyPress && window == m_panel)
        return handleLocalKey(static_cast<QKeyEvent *>(event));
    // Asked before a key that may be one of the program's key equivalents is run: the popup's own
    // keys come first, the others (quitting, the window keys) work here as in any window.
    if (event->type() == QEvent::ShortcutOverride && window == m_panel && isPopupKey(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress && window != m_panel && window->isWindow()
        && window->isVisible()) {
        qCDebug(interactionLogger, "A press in another widget window closes the popup");
        dismissPopup();
        return false;
    }
    // What an input method composes (kana, hanzi) arrives as text of its own: it types like a key.
    if (event->type() == QEvent::InputMethod && watched == m_panel && !m_isEditingTextField) {
        const QString text = static_cast<QInputMethodEvent *>(event)->commitString();
        if (!text.isEmpty())
            PopupNotifications::center().postKeyDown(VirtualKeys::keyUnknown, 0, text);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool PopupWindowController::isPopupKey(QKeyEvent *event) const
{
    // The name field takes its own editing keys; the rest are the program's.
    if (m_isEditingTextField)
        return false;
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close))
        return true;
    const std::optional<quint16> keyCode = VirtualKeys::keyCodeForQtKey(event->key());
    return PopupContentModel::takesKey(keyCode.value_or(VirtualKeys::keyUnknown),
                                       VirtualKeys::modifierFlags(event->modifiers()), typedCharacters(event));
}

QString PopupWindowController::typedCharacters(const QKeyEvent *event)
{
    // The characters a key types, whatever Command or Control do to them.
    const QString characters = event->text();
    return characters.isEmpty() || !characters.at(0).isPrint() ? QString() : characters;
}

bool PopupWindowController::handleLocalKey(QKeyEvent *event)
{
    // Closing the window that has the keyboard closes the popup, as it closes any window.
    if (event->matches(QKeySequence::Close) && !m_isEditingTextField) {
        qCDebug(interactionLogger, "Close typed in the popup closes it");
        dismissPopup();
        return true;
    }
    if (event->key() == Qt::Key_Escape) {
        if (m_isEditingTextField) {
            m_isEditingTextField = false;
            PopupNotifications::center().postTextFieldEditingEnded();
        } else {
            qCDebug(interactionLogger, "Escape typed in the popup closes it");
            dismissPopup();
        }
        return true;
    }
    if (m_isEditingTextField)
        return false;
    // A key the popup has no use for goes on; a key equivalent of the program took it already.
    if (!isPopupKey(event))
        return false;
    const QString characters = typedCharacters(event);
    // A key of another layout ("é", "ñ", "ç") has no code of the table but still types its letter.
    const std::optional<quint16> keyCode = VirtualKeys::keyCodeForQtKey(event->key());
    if (!keyCode && characters.isEmpty())
        return true;
    PopupNotifications::center().postKeyDown(keyCode.value_or(VirtualKeys::keyUnknown),
                                             VirtualKeys::modifierFlags(event->modifiers()), characters);
    return true;
}
