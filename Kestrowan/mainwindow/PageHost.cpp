#include "Kestrowan/mainwindow/PageHost.h"

#include <QLabel>

PageHost::PageHost(QWidget *parent)
    : QWidget(parent)
{
    m_slide.setDuration(duration);
    m_slide.setEasingCurve(QEasingCurve::InOutCubic);
    m_slide.setStartValue(0.0);
    m_slide.setEndValue(1.0);
    connect(&m_slide, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const qreal t = value.toReal();
        // Leading means the page comes from the left (in a left-to-right layout).
        const int direction = ((m_edge == Edge::Leading) != (layoutDirection() == Qt::RightToLeft)) ? -1 : 1;
        const int offset = qRound(width() * (1.0 - t)) * direction;
        if (m_page)
            m_page->move(offset, 0);
        if (m_leaving)
            m_leaving->move(offset - width() * direction, 0);
    });
    connect(&m_slide, &QVariantAnimation::finished, this, &PageHost::finishSlide);
}

void PageHost::setPage(QWidget *page, Edge from, bool animated, bool deletePrevious)
{
    if (page == m_page)
        return;
    m_slide.stop();
    finishSlide();
    QWidget *previous = m_page;
    if (previous && animated && isVisible() && width() > 0) {
        m_leaving = new QLabel(this);
        m_leaving->setPixmap(previous->grab());
        m_leaving->setGeometry(previous->geometry());
        m_leaving->show();
    }
    if (previous) {
        previous->hide();
        if (deletePrevious)
            previous->deleteLater();
    }
    m_page = page;
    m_edge = from;
    if (page) {
        if (page->parentWidget() != this)
            page->setParent(this);
        page->setGeometry(rect());
        page->show();
        page->raise();
    }
    if (m_leaving)
        m_slide.start();
}

void PageHost::finishSlide()
{
    if (m_page)
        m_page->move(0, 0);
    delete std::exchange(m_leaving, nullptr);
}

void PageHost::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_page)
        m_page->setGeometry(m_page->x(), 0, width(), height());
}
