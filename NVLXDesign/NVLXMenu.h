#pragma once

#include <QMenu>
#include <QPainterPath>

#include <functional>

// The kit's pop-up menu: a rounded panel in the raised surface colour with a hairline outline,
// rows in the kit's text font with a rounded highlight under the row the pointer or the keyboard
// is on, check marks in the accent colour, and destructive rows (an action whose "destructive"
// property is true) in the danger colour. It follows the application's appearance.
class NVLXMenu : public QMenu {
    Q_OBJECT
public:
    explicit NVLXMenu(QWidget *parent = nullptr);

    static constexpr qreal cornerRadius = 10;

    // How a window with rounded corners gets them: translucent where the window system composes,
    // or cut to the shape where it does not (the program knows which; the kit does not). Without
    // one, the window is made translucent.
    using RoundedWindowShaper = std::function<void(QWidget *window, std::function<QPainterPath(const QSize &)> shape)>;
    static void setRoundedWindowShaper(RoundedWindowShaper shaper);
    static void shapeRoundedWindow(QWidget *window, qreal radius);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void applyMetrics();
};
