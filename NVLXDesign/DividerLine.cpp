#include "NVLXDesign/DividerLine.h"

#include "NVLXDesign/DS.h"

#include <QPainter>

DividerLine::DividerLine(const DynamicColor &color, QWidget *parent) : QWidget(parent), m_color(color)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void DividerLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_color.resolve(this));
}

NVLXDivider::NVLXDivider(QWidget *parent) : DividerLine(DS::divider, parent) {}
