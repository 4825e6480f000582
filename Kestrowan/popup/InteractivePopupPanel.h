#pragma once

#include <QWidget>

// The popup's window: frameless, floating above other windows, on every desktop; shown without
// activating the program and then given the keyboard. It tells the popup's listeners when the
// pointer leaves it. A new panel is made for every show.
class InteractivePopupPanel : public QWidget {
    Q_OBJECT
public:
    explicit InteractivePopupPanel(QWidget *content);

    QWidget *content() const { return m_content; }
    // Shows the panel at `frame` (window space) and takes the keyboard.
    void present(const QRect &frame);

protected:
    void leaveEvent(QEvent *event) override;

private:
    QWidget *m_content;
};
