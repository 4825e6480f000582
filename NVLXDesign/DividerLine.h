#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QWidget>

// A rule exactly one point high, as wide as its container offers, filled with a colour token.
class DividerLine : public QWidget {
    Q_OBJECT
public:
    explicit DividerLine(const DynamicColor &color, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DynamicColor m_color;
};

// The kit's divider, filled with DS::divider.
class NVLXDivider : public DividerLine {
    Q_OBJECT
public:
    explicit NVLXDivider(QWidget *parent = nullptr);
};
