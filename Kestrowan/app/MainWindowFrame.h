#pragma once

#include "Kestrowan/shell/AppEnvironment.h"

#include <QWidget>

// The program's one main window: identifier "main", title "Kestrowan", 620 by 540 (less on a screen
// too small for that). It shows the main view and reports when that view comes on and leaves the
// screen (minimising does neither). The desktop's close key closes it.
class MainWindowFrame final : public QWidget {
    Q_OBJECT
public:
    static inline const QString identifier = QStringLiteral("main");
    static inline const QString title = QStringLiteral("Kestrowan");
    static constexpr QSize defaultSize{620, 540};
    // The default size, made smaller where the screen's usable area is.
    static QSize fittedDefaultSize();

    explicit MainWindowFrame(const AppEnvironment &environment, QWidget *parent = nullptr);

    QWidget *content() const { return m_content; }
    // Before onboarding the window keeps its size; afterwards it can be resized.
    void setResizable(bool resizable);

    // Whether a top-level widget counts as a main window: a normal window titled "Kestrowan".
    static bool isMainWindow(const QWidget *widget);

signals:
    void mainViewAppeared();
    void mainViewDisappeared();
    // The user closed the window; it is deleted once control returns to the event loop.
    void closed();
    // The window's first frame is drawn whole (said once control returns after drawing it).
    void firstFrameDrawn();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *m_content = nullptr;
    bool m_onScreen = false;
    bool m_drawn = false;
};
