#pragma once

#include <QWidget>

// One capsule per step, the current one larger and in the accent colour.
class StepIndicator final : public QWidget {
    Q_OBJECT
public:
    StepIndicator(int steps, QWidget *parent = nullptr);
    void setCurrent(int step);
    int current() const { return m_current; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_steps;
    int m_current = 0;
};
