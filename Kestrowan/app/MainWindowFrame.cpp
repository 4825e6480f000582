#include "Kestrowan/app/MainWindowFrame.h"

#include "Kestrowan/mainwindow/MainWindowContent.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

MainWindowFrame::MainWindowFrame(const AppEnvironment &environment, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(identifier);
    setWindowTitle(title);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_content = makeMainWindowContent(environment, this);
    if (m_content)
        layout->addWidget(m_content);
    // Every key the desktop has for closing a window: on X11 the first is Ctrl+F4, and Ctrl+W, the
    // one users press, comes after it (a sequence made from the standard key keeps only the first).
    auto *closer = new QAction(this);
    closer->setShortcuts(QKeySequence::Close);
    connect(closer, &QAction::triggered, this, &QWidget::close);
    addAction(closer);
    const QSize size = fittedDefaultSize();
    resize(size);
    // Centred in the screen's usable area: clear of the Dock, the menu bar and other panels.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

QSize MainWindowFrame::fittedDefaultSize()
{
    // A small screen's usable area (less the menu-bar strip and the Dock's band) may be smaller than
    // the window: the window keeps inside it.
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? defaultSize.boundedTo(screen->availableGeometry().size()) : defaultSize;
}

bool MainWindowFrame::isMainWindow(const QWidget *widget)
{
    return widget && widget->isWindow() && widget->windowType() == Qt::Window && widget->windowTitle() == title;
}

void MainWindowFrame::setResizable(bool resizable)
{
    if (resizable) {
        // The content states its least size as a minimum of its own (it lays its pages out by
        // hand, so it has no size hint for it); the window keeps to it.
        const QSize least = m_content ? m_content->minimumSize().expandedTo(m_content->minimumSizeHint()) : QSize(0, 0);
        setMinimumSize(least.boundedTo(fittedDefaultSize()).expandedTo(QSize(0, 0)));
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setFixedSize(size().isValid() && isVisible() ? size() : fittedDefaultSize());
    }
}

void MainWindowFrame::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (m_drawn)
        return;
    m_drawn = true;
    // The window is drawn before its content; the frame is whole once control returns.
    QTimer::singleShot(0, this, &MainWindowFrame::firstFrameDrawn);
}

void MainWindowFrame::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous() || m_onScreen)
        return;
    m_onScreen = true;
    emit mainViewAppeared();
}

void MainWindowFrame::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous() || !m_onScreen)
        return;
    m_onScreen = false;
    emit mainViewDisappeared();
}

void MainWindowFrame::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (!event->isAccepted())
        return;
    // A closed window is rebuilt on the next request, as a fresh view; the owner lets go of this one
    // now, so a request that comes before the deletion never revives it.
    emit closed();
    deleteLater();
}
