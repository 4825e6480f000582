#pragma once

#include "NVLXDesign/DynamicColor.h"

#include <QWidget>

// A small status chip of the editor: a 7-point dot and 11-point medium text in one colour, on a
// rounded rectangle tinted with that colour (the status line) or left clear (the bottom bar). The
// busy form shows a small spinner in place of the dot.
class DockStatusChip : public QWidget {
    Q_OBJECT
public:
    explicit DockStatusChip(bool tinted, QWidget *parent = nullptr);

    void display(const QString &text, const DynamicColor &color, bool busy = false);
    QString text() const { return m_text; }
    DynamicColor color() const { return m_color; }
    bool isBusy() const { return m_busy; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    bool m_tinted;
    QString m_text;
    DynamicColor m_color = DynamicColor::fixed(0x000000);
    bool m_busy = false;
    int m_spinTimer = 0;
    int m_spinStep = 0;
};
