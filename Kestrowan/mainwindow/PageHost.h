#pragma once

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

class QLabel;

// Holds one page at a time and slides from one to the next: the new page comes in from the leading
// or trailing edge while a picture of the old one leaves by the other. The switch itself is done at
// once; only the picture moves, so nothing waits for the animation.
class PageHost final : public QWidget {
    Q_OBJECT
public:
    enum class Edge { Leading, Trailing };

    static constexpr int duration = 200;

    explicit PageHost(QWidget *parent = nullptr);

    QWidget *page() const { return m_page; }
    // Shows `page` (which the host takes over unless it already holds it). The previous page is
    // hidden, and deleted when `deletePrevious`. Without animation the switch is immediate.
    void setPage(QWidget *page, Edge from, bool animated, bool deletePrevious);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void finishSlide();

    QPointer<QWidget> m_page;
    QLabel *m_leaving = nullptr;
    Edge m_edge = Edge::Trailing;
    QVariantAnimation m_slide;
};
