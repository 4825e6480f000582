#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

// The popup's window: frameless, floating above other windows, on every desktop; shown without
// activating the program and then given the keyboard. It tells the popup's listeners when the
// pointer leaves it. The controller keeps one for the program's life and gives it new content for
// every show, so a show does not wait for a new window.
class InteractivePopupPanel : public QWidget {
    Q_OBJECT
public:
    // The corners of the card the content draws, which the panel's own shape follows.
    static constexpr qreal cornerRadius = 18;

    explicit InteractivePopupPanel(QWidget *content);

    QWidget *content() const { return m_content; }
    // Takes `content` in place of the current one and hands the old one back (hidden, still a child;
    // the caller disposes of it).
    QWidget *replaceContent(QWidget *content);
    // Shows the panel at `frame` (window space) and takes the keyboard.
    void present(const QRect &frame);

protected:
    // Input methods compose into the popup's search, which has no text field of its own.
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // A press on the background (where no control takes it) drags the panel.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QWidget *m_content;
    std::optional<QPoint> m_dragOffset;
    // The window of the program that had the keyboard before the panel took it, to have it back.
    QPointer<QWidget> m_keyboardReturnsTo;
};
