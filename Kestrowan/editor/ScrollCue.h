#pragma once

#include <QAbstractButton>

class QScrollArea;

// The sign at one end of a row that scrolls sideways without a scroll bar that more lies beyond
// that end: the row fades into the page there under a small round button with a chevron, which
// scrolls the row on by most of its width. It shows only while the row can scroll that way, and
// follows the row's scrolling and size.
class ScrollCue final : public QAbstractButton {
    Q_OBJECT
public:
    enum class Edge { Leading, Trailing };

    ScrollCue(QScrollArea *area, Edge edge);

    static constexpr int cueWidth = 40;
    static constexpr int buttonSide = 24;

    // The round button inside the cue, in the cue's coordinates.
    QRectF buttonRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    void follow();

    QScrollArea *m_area;
    QObject *m_viewport = nullptr;
    Edge m_edge;
};
